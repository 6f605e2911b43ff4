# Makes the users' package from the 32-bit build: profsync.exe, README.txt,
# LICENSE.txt and example/kyro.txt in a ZIP, the same bytes from every build
# of the same sources with the same compiler and CMake: the entries in this
# order and with fixed modes, each with one time, that of the sources' last
# commit (SOURCE_DATE_EPOCH when it is set; 2026-12-07 00:00 UTC for sources
# that are no git checkout), in UTC.
#
#     cmake -D PROGRAM=profsync.exe -D STAGE=<folder of the texts> -D ZIP=<package>
#           -D SOURCE=<source folder> -P package.cmake
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(from "SOURCE_DATE_EPOCH")
else()
  execute_process(COMMAND git -C ${SOURCE} log -1 --format=%ct OUTPUT_VARIABLE epoch
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  set(from "the last commit")
  if(failed OR NOT epoch MATCHES "^[0-9]+$")
    set(epoch 1796601600)
    set(from "no commit: the fixed time")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
# A ZIP entry's time is local time: the same for every builder.
set(ENV{TZ} UTC0)

file(COPY ${PROGRAM} DESTINATION ${STAGE}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip --
                        profsync.exe README.txt LICENSE.txt example/kyro.txt
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${ZIP})
  message(FATAL_ERROR "package: ${ZIP} could not be made")
endif()
message(STATUS "package: ${ZIP}, times from ${from}, $ENV{SOURCE_DATE_EPOCH}")
