# Utility layer and data folder as plain sources, so that the configuration
# library and the command tool each compile their own copy.
# Include this file, then add ${TW_QVSAINS_SOURCES} to a target and
# ${TW_QVSAINS_INCLUDE_DIR} to its include directories.
set(TW_QVSAINS_INCLUDE_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(TW_QVSAINS_SOURCES
  "${CMAKE_CURRENT_LIST_DIR}/util_path_l2.cc"
  "${CMAKE_CURRENT_LIST_DIR}/util_number_l2.cc"
  "${CMAKE_CURRENT_LIST_DIR}/util_file_l2.cc"
  "${CMAKE_CURRENT_LIST_DIR}/util_mutex_l2.cc"
  "${CMAKE_CURRENT_LIST_DIR}/data_folder_l3.cc")
