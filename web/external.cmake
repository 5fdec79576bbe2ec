# The page, built from these same sources by emscripten as a project of its own (a cross build
# cannot share this one's compiler), into build/web; included when SMOKE_BUILD_WEB is on.
include(ExternalProject)
find_program(SMOKE_EMCC emcc REQUIRED)
find_program(SMOKE_NODE NAMES node nodejs REQUIRED)
# emcc is a link into emscripten's folder, which holds the toolchain file. The toolchain file is
# given directly: emcmake would also confine the native find_package calls.
get_filename_component(emscripten_root ${SMOKE_EMCC} REALPATH)
get_filename_component(emscripten_root ${emscripten_root} DIRECTORY)
set(SMOKE_WEB_DIR ${CMAKE_BINARY_DIR}/web)
set(SMOKE_WEB_BUILD ${CMAKE_BINARY_DIR}/web-build)
ExternalProject_Add(web_page
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${SMOKE_WEB_BUILD}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${emscripten_root}/cmake/Modules/Platform/Emscripten.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_CROSSCOMPILING_EMULATOR=${SMOKE_NODE}
    -DSMOKE_WEB_DIR=${SMOKE_WEB_DIR}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON  # its own build decides what is out of date
  BUILD_BYPRODUCTS ${SMOKE_WEB_DIR}/smoke.js ${SMOKE_WEB_BUILD}/web/smoke-node.js)
# The CommonJS twin that the tests and the benchmark load in node.
set(SMOKE_NODE_MODULE ${SMOKE_WEB_BUILD}/web/smoke-node.js)
