#!/usr/bin/env python3
"""Fails, naming the first text that package/README.txt lacks, unless README.txt holds every
text the program can print: each sentence of what the sources hand to puts, printf, snprintf
and failWith, and each reason of the left-out report. A format directive stands for any text;
line breaks and runs of blanks match any white space, as README.txt wraps its lines.

    tools/check-messages.py [SOURCE_FOLDER]
"""
import re
import sys
from pathlib import Path

LITERAL = r'"(?:[^"\\]|\\.)*"'
ESCAPES = {"n": "\n", '"': '"', "\\": "\\", "'": "'"}


def texts(source):
    """The console texts in one source file, each a list of the pieces that are joined to it."""
    names = dict(re.findall(r"#define (\w+) (" + LITERAL + r")", source))
    names.update(re.findall(r"const char (\w+)\[\] = (" + LITERAL + r");", source))
    piece = LITERAL + (r"|\b(?:" + "|".join(names) + r")\b" if names else "")
    calls = re.findall(r"\b(?:puts|printf|snprintf|failWith)\((\{?(?:[^()]|\([^()]*\))*)\)", source)
    calls += re.findall(r"case LeftOutReason::\w+:\s*return (" + LITERAL + ");", source)
    for call in calls:
        for run in re.findall(r"(?:(?:" + piece + r")\s*)+", call):
            yield "".join(eval_literal(names.get(p, p)) for p in re.findall(piece, run))


def eval_literal(literal):
    return re.sub(r"\\(.)", lambda m: ESCAPES[m.group(1)], literal[1:-1])


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    readme = " ".join((root / "package" / "README.txt").read_text().split())
    sources = [path for folder in ("", "driver", "profile", "text", "platform")
               for path in sorted((root / folder).glob("*.*"))
               if path.suffix in (".cpp", ".h") and not path.name.endswith("_test.cpp")]
    header = (root / "console.h").read_text()  # the names the texts share
    checked = 0
    for path in sources:
        for text in texts(header + path.read_text()):
            for sentence in re.split(r"\n|(?<=\.) (?=[A-Z])", text):
                words = re.escape(" ".join(sentence.split()))
                if not re.search(r"[A-Za-z]{2}", words):
                    continue  # a format alone, or a separator
                pattern = re.sub(r"%(?:\\\.\\\*)?s", ".*?", re.sub(r"%lu", r"\\S+", words))
                if not re.search(pattern, readme):
                    sys.exit(f"check-messages: package/README.txt lacks {sentence.strip()!r} ({path.name})")
                checked += 1
    if checked == 0:
        sys.exit("check-messages: no texts found in the sources")
    # Each reason of the report has its text: one that this script cannot read is one it does not check.
    enum = re.search(r"enum class LeftOutReason \{(.*?)\};", (root / "profile" / "left_out.h").read_text(), re.S)
    reasons = len(re.findall(r"^\s*\w+,", enum.group(1), re.M))
    found = len(re.findall(r"case LeftOutReason::\w+:\s*return " + LITERAL + ";",
                           (root / "profile" / "left_out.cpp").read_text()))
    if found < reasons:
        sys.exit(f"check-messages: {found} reason texts found in profile/left_out.cpp, for {reasons} reasons")
    print(f"check-messages: package/README.txt holds all {checked} texts the program prints")


if __name__ == "__main__":
    main()
