# Each subsystem folder is one static library made of the .cpp files directly in it.
# A folder without sources yet becomes an INTERFACE library, so that the layering can be
# declared before the code arrives.
#
#   wizconv_library(NAME DIR <dir> [QT] [ENGINE] DEPS <targets...>)
#     QT      the library uses Qt (AUTOMOC on)
#     ENGINE  plain engine code: deprecated FFmpeg calls are errors
function(wizconv_library name)
  cmake_parse_arguments(ARG "QT;ENGINE" "DIR" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${ARG_DIR}/*.h)
  if(sources)
    add_library(${name} STATIC ${sources} ${headers})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    if(ARG_QT)
      set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
    if(ARG_ENGINE)
      target_compile_options(${name} PRIVATE -Werror=deprecated-declarations)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# One GoogleTest executable per test folder, made of the .cpp files directly in it.
#   wizconv_test(NAME DIR <dir> [QT] [TIMEOUT seconds] DEPS <targets...>)
#     QT  the tests need a QApplication (offscreen); tests/support provides main()
include(GoogleTest)
function(wizconv_test name)
  cmake_parse_arguments(ARG "QT" "DIR;TIMEOUT" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} wizconv_testsupport GTest::gtest)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE wizconv_qttestmain Qt6::Test Qt6::Widgets)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      TIMEOUT ${ARG_TIMEOUT}
      # The folders the tests need are compiled into tests/support (a list here would be
      # split by the test discovery).
      ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()
