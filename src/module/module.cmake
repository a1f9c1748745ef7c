# The extension module: src/lib.cpp joins the codec and the boundary.
option(TC_TEST_HOOKS "Also build _tarvel_codec_faults, a test-only module that injects transform faults" OFF)

# The Python boundary. It calls no codec function itself: the transform is
# handed in by the module root, so the test-only module can reuse the same call path.
add_library(tc_boundary STATIC
  src/module/arguments.cpp
  src/module/call.cpp
  src/module/errors.cpp
  src/module/interned.cpp
  src/module/module_def.cpp
)
target_include_directories(tc_boundary PUBLIC src)
target_link_libraries(tc_boundary PUBLIC Python::Module PRIVATE tc_flags)
# __version__ is the version pyproject.toml declares, read from there so that it has one home.
file(STRINGS "${PROJECT_SOURCE_DIR}/pyproject.toml" tc_version_line REGEX "^version = \"[^\"]+\"$" LIMIT_COUNT 1)
string(REGEX REPLACE "^version = \"([^\"]+)\"$" "\\1" tc_version "${tc_version_line}")
if(NOT tc_version)
  message(FATAL_ERROR "no version = \"...\" line in pyproject.toml")
endif()
target_compile_definitions(tc_boundary PRIVATE TC_VERSION="${tc_version}")
set_target_properties(tc_boundary PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

Python_add_library(tarvel_codec MODULE WITH_SOABI
  src/lib.cpp
)
target_link_libraries(tarvel_codec PRIVATE tc_boundary tc_codec tc_flags)
set_target_properties(tarvel_codec PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
# Export PyInit_tarvel_codec alone: libstdc++ declares namespace std with default visibility, so
# hidden-by-default still lets std:: template instantiations (e.g. from <charconv>) leak out.
if(NOT APPLE AND NOT WIN32)
  set(TC_EXPORT_MAP "${CMAKE_CURRENT_BINARY_DIR}/tarvel_codec.map")
  file(WRITE "${TC_EXPORT_MAP}" "{\n  global: PyInit_tarvel_codec;\n  local: *;\n};\n")
  target_link_options(tarvel_codec PRIVATE "LINKER:--version-script=${TC_EXPORT_MAP}")
  set_property(TARGET tarvel_codec APPEND PROPERTY LINK_DEPENDS "${TC_EXPORT_MAP}")
endif()
# For wheels that must load on any glibc from 2.28 (manylinux_2_28), built with GCC on a newer
# glibc: libstdc++ is linked in, and the two glibc symbols after 2.28 it refers to are stood in
# for by packaging/glibc_compat.cpp. Unused sections go, and with them the references of the
# library's thread-safe pool to pthread functions at their glibc 2.34 versions. libgcc stays
# shared (the policy allows it): linked in, its unwinder would refer to glibc 2.34 and 2.35.
option(TC_STATIC_CXX_RUNTIME "Link libstdc++ into the module, keeping to glibc 2.28's symbols" OFF)
if(TC_STATIC_CXX_RUNTIME)
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "TC_STATIC_CXX_RUNTIME is for GCC on Linux with glibc")
  endif()
  target_sources(tarvel_codec PRIVATE packaging/glibc_compat.cpp)
  # Kept out of link-time optimisation: one more file there changed how the optimiser splits
  # and inlines the module's code (one hot function took 15% more instructions).
  set_source_files_properties(packaging/glibc_compat.cpp PROPERTIES COMPILE_OPTIONS -fno-lto)
  target_link_options(tarvel_codec PRIVATE -static-libstdc++ "LINKER:--gc-sections"
                      "LINKER:--wrap=arc4random" "LINKER:--wrap=__libc_single_threaded")
endif()
install(TARGETS tarvel_codec LIBRARY DESTINATION .)
# Type checkers look for the stub of a top-level extension module in a stub-only package.
install(FILES src/tarvel_codec-stubs/__init__.pyi DESTINATION tarvel_codec-stubs)

if(TC_TEST_HOOKS)
  # Built by tests/test_arguments.py into a scratch directory; never installed.
  Python_add_library(_tarvel_codec_faults MODULE WITH_SOABI
    tests/fault_module/fault_module.cpp
  )
  target_link_libraries(_tarvel_codec_faults PRIVATE tc_boundary tc_codec tc_flags)
  set_target_properties(_tarvel_codec_faults PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endif()
