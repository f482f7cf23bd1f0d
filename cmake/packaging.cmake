# What `cmake --install` adds beyond the programs' own rules, and the Debian
# package that `make package` builds from the same install tree with CPack.

# The assembler library that the programs load at run time: installed where
# the ordinary library search finds it (the asm folder may not be built).
if(TARGET opcode)
  install(TARGETS opcode LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

set(OXU_PACKAGE_MAINTAINER "OXU-Dasm developers <oxu-dasm@localhost>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME oxu-dasm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "interactive disassembler, patcher and tracer for 32-bit Windows and DOS programs")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "OXU-Dasm reads 32-bit Windows PE and DOS MZ programs as annotated x86 listings or hex dumps, "
    "follows and names references, patches bytes and instructions with undo, lists imports, "
    "exports, menus and strings with the code that uses them, and traces the program in an "
    "exact emulator. oxu-dasm is the desktop program, oxu its command-line twin.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${OXU_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are the runtime packages of the libraries the programs
# really link (Qt 6, the C++ runtime), as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
