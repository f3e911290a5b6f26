# Helpers shared by every folder's CMakeLists.txt.

# kt_add_library(<name> [DEPS <targets...>])
# One library per source folder, made of every .cpp in it; headers are found
# as "<folder>/<Header>.h" from src/. A folder with no .cpp yet is header-only.
function(kt_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# kt_add_test(<name> DEPS <targets...>)
# One GoogleTest program per test folder, made of every .cpp in it.
function(kt_add_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

find_package(Threads REQUIRED)

# kt_add_instrument(<name> BINDING <binding library> [SHARED] [NO_EDITOR])
# The instrument's one source, compiled against one host binding. The binding
# library puts its IPluginBinding.h on the include path; the instrument derives
# from the IPluginBinding it names. Static unless SHARED is given. NO_EDITOR:
# for a host library that only runs the sound; the editor's sources are left
# out (noeditor/ stands in for them) and no drawing library is linked in.
function(kt_add_instrument name)
  cmake_parse_arguments(ARG "SHARED;NO_EDITOR" "BINDING" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/instrument/*.cpp)
  if(ARG_NO_EDITOR)
    list(FILTER srcs EXCLUDE REGEX "/(QiKt412Editor|PresetFunctionsMenu|InstrumentImages|HitBackgroundControl|HitPicture)\\.cpp$")
    list(APPEND srcs ${PROJECT_SOURCE_DIR}/src/instrument/noeditor/QiKt412NoEditor.cpp)
  endif()
  if(ARG_SHARED)
    add_library(${name} SHARED ${srcs})
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  else()
    add_library(${name} STATIC ${srcs})
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  kt_add_builtin_resources()
  target_link_libraries(${name} PUBLIC kt_voice kt_framework kt_graphics ${ARG_BINDING} ${ARG_DEPS}
                        kt_instrument_resources ${CMAKE_DL_LIBS})
  if(ARG_NO_EDITOR)
    # The preset browser's menu model is all it takes from the graphics
    # library: the image, font and window libraries that library brings
    # along are dropped from the binary when nothing in it uses them.
    target_link_options(${name} PRIVATE -Wl,--as-needed)
  endif()
endfunction()

# The bytes of resources/ (skin images, factory presets) compiled into one
# library, made once however many instruments are built.
function(kt_add_builtin_resources)
  if(TARGET kt_instrument_resources)
    return()
  endif()
  set(res ${PROJECT_SOURCE_DIR}/resources)
  file(GLOB inputs CONFIGURE_DEPENDS ${res}/img/*.png "${res}/presets/Factory Presets/*.qipreset")
  set(out ${PROJECT_BINARY_DIR}/generated/BuiltInResources.cpp)
  add_custom_command(OUTPUT ${out}
                     COMMAND ${CMAKE_COMMAND} -DSRC_DIR=${res} -DOUT=${out}
                             -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
                     DEPENDS ${inputs} ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
                     COMMENT "Building the resources into the instrument" VERBATIM)
  add_library(kt_instrument_resources STATIC ${out})
  target_include_directories(kt_instrument_resources PUBLIC ${PROJECT_SOURCE_DIR}/src)
endfunction()

# kt_copy_resources(<target>)
# Puts a copy of resources/ next to the target's binary after each build: the
# instrument looks for its images and factory presets there first (the install
# rules put the folder next to the installed binary the same way).
function(kt_copy_resources target)
  add_custom_command(TARGET ${target} POST_BUILD
                     COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/resources
                             $<TARGET_FILE_DIR:${target}>/resources
                     VERBATIM)
endfunction()
