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
install(TARGETS tarvel_codec LIBRARY DESTINATION .)
# Type checkers look for the stub of a top-level extension module in a stub-only package.
install(FILES src/tarvel_codec-stubs/__init__.pyi DESTINATION tarvel_codec-stubs)

if(TC_TEST_HOOKS)
  # Built by tests/test_arguments.py into a scratch directory; never installed.
  Python_add_library(_tarvel_codec_faults MODULE WITH_SOABI
    tests/fault_module/fault_module.cpp
  )
  target_link_libraries(_tarvel_codec_faults PRIVATE tc_boundary tc_flags)
  set_target_properties(_tarvel_codec_faults PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endif()
