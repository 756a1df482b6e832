# Installs the build into a fresh temporary prefix and checks that every
# shipped file lands where the desktop looks for it, and that the installed
# program finds its read-me and guide there:
#   cmake -DBUILD_DIR=<build> -DPREFIX=<empty folder> -DAPP_ID=<id> -P install_prefix.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${err}")
endif()
foreach(f bin/wendul share/wendul/README.TXT share/wendul/Manual.TXT
          share/applications/${APP_ID}.desktop share/metainfo/${APP_ID}.metainfo.xml
          share/icons/hicolor/scalable/apps/${APP_ID}.svg)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(GLOB man ${PREFIX}/share/man/man1/wendul.1*)
if(NOT man)
  message(FATAL_ERROR "not installed: the manual page wendul.1")
endif()
# The installed program, started from the prefix, names the files it opens.
execute_process(COMMAND ${PREFIX}/bin/wendul --help RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "wendul --help failed: ${rc}")
endif()
foreach(name README.TXT Manual.TXT)
  string(FIND "${out}" "${PREFIX}/share/wendul/${name}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the installed program does not find ${name}:\n${out}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
