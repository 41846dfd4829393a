# The word data: the build tool mkwords turns the UTF-8 word files of
# words/text/ into a source file of the words library (English as string
# resources, every other language in its row's code page).
add_executable(vx_mkwords ${PROJECT_SOURCE_DIR}/words/build_tool/mkwords.cpp)
target_include_directories(vx_mkwords PRIVATE ${PROJECT_SOURCE_DIR})
file(GLOB _word_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/words/text/*.txt)
set(_word_data ${CMAKE_CURRENT_BINARY_DIR}/words/wordsdata.cpp)
add_custom_command(OUTPUT ${_word_data}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/words
  COMMAND vx_mkwords ${PROJECT_SOURCE_DIR}/words/text ${_word_data}
  DEPENDS vx_mkwords ${_word_files}
  COMMENT "Word tables from words/text"
  VERBATIM)
target_sources(words PRIVATE ${_word_data})
