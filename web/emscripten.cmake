# The WebAssembly build's settings, included by the top-level CMakeLists.txt when emscripten's
# toolchain file is in force.

# Figures must match the native build's bit for bit: no fused operations, no fast-math (the lattice
# target adds its own flags too). CLI11 reports a refusal by throwing, so the program catches
# exceptions (the link's -fexceptions); only the code that catches them or unwinds through its own
# objects compiles with it (web/CMakeLists.txt), as every call elsewhere would pay for a way out
# through JavaScript: the step took 1.4 times as long.
add_compile_options(-O3 -ffp-contract=off -fno-fast-math)
add_link_options(-O3 -fexceptions)
# The models' OpenMP pragmas simply vanish: one thread in a page.
set(CMAKE_DISABLE_FIND_PACKAGE_OpenMP ON)
add_compile_options(-Wno-unknown-pragmas)

# CLI11 and toml++ are header-only Debian packages under /usr/include. The toolchain confines
# find_package to emscripten's own tree, and all of /usr/include would bring the host's C library
# headers, so their folders alone are linked into the build tree and found there.
set(header_only_root ${CMAKE_BINARY_DIR}/header-only)
foreach(package_header CLI/CLI.hpp toml++/toml.h)
  get_filename_component(folder ${package_header} DIRECTORY)
  find_path(${folder}_ROOT ${package_header} PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
  file(MAKE_DIRECTORY ${header_only_root})
  file(CREATE_LINK ${${folder}_ROOT}/${folder} ${header_only_root}/${folder} SYMBOLIC)
endforeach()
# find_package() looks in CMAKE_FIND_PACKAGE_REDIRECTS_DIR first; each package there is one target.
# The path is quoted in the generated file: the build folder's path may hold a space.
foreach(package "CLI11|CLI11::CLI11" "tomlplusplus|tomlplusplus::tomlplusplus")
  string(REPLACE "|" ";" parts ${package})
  list(GET parts 0 name)
  list(GET parts 1 target)
  string(TOLOWER ${name} lower)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config.cmake
    "if(NOT TARGET ${target})\n"
    "  add_library(${target} INTERFACE IMPORTED)\n"
    "  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES \"${header_only_root}\")\n"
    "endif()\n")
endforeach()

# emcc's JavaScript optimiser needs Debian's node modules, which node does not look for by itself.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
