# The extension module: src/lib.cpp joins the codec and the boundary.
Python_add_library(tarvel_codec MODULE WITH_SOABI
  src/lib.cpp
)
target_link_libraries(tarvel_codec PRIVATE tc_codec tc_flags)
set_target_properties(tarvel_codec PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
install(TARGETS tarvel_codec LIBRARY DESTINATION .)
install(FILES src/tarvel_codec.pyi DESTINATION .)
