# Run by cpack on what it is about to package: a package without the stub
# would build nothing without --stub, so none is made; the manual is
# compressed, as Debian's man pages are.
file(GLOB_RECURSE stub "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/setup-stub.exe")
if(NOT stub)
  message(FATAL_ERROR "no setup-stub.exe to package: build the win32 preset (scripts/build), or configure with "
                      "-DMORLU_STUB=path/to/setup-stub.exe, then run cpack again")
endif()
file(GLOB_RECURSE manual "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/morlu-pack.1")
foreach(page IN LISTS manual)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot compress ${page}")
  endif()
endforeach()
