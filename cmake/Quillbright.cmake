# Build conventions shared by every folder: warnings, sanitizers, one static
# library per layer and one test program per layer and label.

set(QB_WARNINGS -Wall -Wextra -Wpedantic)
# CI builds with GCC treat our warnings as errors (QB_WERROR=ON in the
# environment of the first configure, see .ci/run).
if(QB_WERROR AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND QB_WARNINGS -Werror)
endif()

if(QB_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(QB_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# qb_library(<layer> [DEPS targets...]) builds src/<layer>/*.cpp into qb_<layer>.
function(qb_library layer)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(qb_${layer} STATIC ${sources})
  target_include_directories(qb_${layer} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(qb_${layer} PRIVATE ${QB_WARNINGS})
  target_link_libraries(qb_${layer} PUBLIC ${ARG_DEPS})
endfunction()

# qb_tests(<layer> [DEPS targets...]) builds one test program per label from
# tests/<layer>: *_test.cpp (unit), *_itest.cpp (integration, real loopback
# sockets), *_e2etest.cpp (e2e, real peers) and *_guitest.cpp (gui). Every
# one links the shared test support (qb_test_support, which brings the
# include folders src/ and tests/).
function(qb_tests layer)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  foreach(kind unit integration e2e gui)
    if(kind STREQUAL "unit")
      set(pattern "*_test.cpp")
    elseif(kind STREQUAL "integration")
      set(pattern "*_itest.cpp")
    elseif(kind STREQUAL "e2e")
      set(pattern "*_e2etest.cpp")
    else()
      set(pattern "*_guitest.cpp")
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${pattern})
    if(sources)
      set(target ${layer}_${kind}_tests)
      add_executable(${target} ${sources})
      target_compile_options(${target} PRIVATE ${QB_WARNINGS})
      target_link_libraries(${target} PRIVATE ${ARG_DEPS} qb_test_support GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
      gtest_discover_tests(${target}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES LABELS ${kind} TIMEOUT 300)
    endif()
  endforeach()
endfunction()
