#pragma once

/// Whether isLeadByte and ansiChar answer as Windows does in code page 932
/// (Japanese), where a character may take two bytes; else as in Latin-1.
extern bool codePage932;
