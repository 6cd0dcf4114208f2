# Document reader, definitions and the configuration layer.
set(TW_QVSACFG_INCLUDE_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(TW_QVSACFG_SOURCES
  "${CMAKE_CURRENT_LIST_DIR}/reader_source.cc"
  "${CMAKE_CURRENT_LIST_DIR}/reader_segments.cc"
  "${CMAKE_CURRENT_LIST_DIR}/reader_tags.cc"
  "${CMAKE_CURRENT_LIST_DIR}/rows.cc"
  "${CMAKE_CURRENT_LIST_DIR}/row_creators.cc"
  "${CMAKE_CURRENT_LIST_DIR}/sentence.cc"
  "${CMAKE_CURRENT_LIST_DIR}/values.cc"
  "${CMAKE_CURRENT_LIST_DIR}/schema.cc"
  "${CMAKE_CURRENT_LIST_DIR}/format.cc"
  "${CMAKE_CURRENT_LIST_DIR}/config_items.cc"
  "${CMAKE_CURRENT_LIST_DIR}/config_read.cc"
  "${CMAKE_CURRENT_LIST_DIR}/config_write.cc"
  "${CMAKE_CURRENT_LIST_DIR}/config_data.cc"
  "${CMAKE_CURRENT_LIST_DIR}/api.cc")
