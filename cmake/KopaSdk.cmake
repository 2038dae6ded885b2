# The plug-in developer's kit: what `cmake --install` puts under the prefix besides the programs
# and bundles, so a plug-in builds against it on its own instead of inside this tree.
#
#   include/platform/...           the platform library's headers (not the GTK front end's)
#   include/host/...               the headers the host offers a plug-in, with those they include
#   include/plugin/framework/...   the framework's Classes/ and Categories/ headers
#   include/sdk/testing/...        the plug-in tests' host (KOPATestHost)
#   lib/                           libkopa_framework.a and libkopa_testing.so beside the others
#   lib/cmake/Kopa/                find_package(Kopa CONFIG): Kopa::platform, Kopa::host,
#                                  Kopa::framework, Kopa::testing and kopa_plugin_bundle()
#   share/kopa/framework/Resources the framework's resources, copied into every bundle
include(CMakePackageConfigHelpers)

# The host for a plug-in's tests: a demo database, the host application and a scripted front
# end, behind one header that names no host class a plug-in may not use.
add_library(kopa_testing SHARED ${CMAKE_SOURCE_DIR}/sdk/testing/KOPATestHost.cpp)
zandrel_include_root(kopa_testing PUBLIC sdk sdk)
target_link_libraries(kopa_testing PUBLIC zandrel_platform PRIVATE zandrel_host)

set_target_properties(zandrel_platform PROPERTIES EXPORT_NAME platform)
set_target_properties(zandrel_host PROPERTIES EXPORT_NAME host)
set_target_properties(kopa_framework PROPERTIES EXPORT_NAME framework)
set_target_properties(kopa_testing PROPERTIES EXPORT_NAME testing)
# The headers are C++20 throughout; a plug-in's project gets the standard from the targets.
foreach(library zandrel_platform zandrel_host kopa_framework kopa_testing)
  target_compile_features(${library} PUBLIC cxx_std_20)
endforeach()
# A kit built with the sanitizers (ZANDREL_SANITIZE) is instrumented: whatever links it must be too,
# or its runtime is missing (a bundle links with --no-undefined).
if(ZANDREL_SANITIZE)
  foreach(option -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_compile_options(zandrel_platform INTERFACE $<INSTALL_INTERFACE:${option}>)
  endforeach()
  target_link_options(zandrel_platform INTERFACE $<INSTALL_INTERFACE:-fsanitize=address,undefined>)
endif()
install(TARGETS kopa_framework kopa_testing EXPORT KopaTargets
  ARCHIVE DESTINATION lib LIBRARY DESTINATION lib)

# Headers. Of the host, exactly those the layering rule lets a plug-in include
# (HOST_PLUGIN_INTERFACE in tests/layering/check_layers.py), plus the host headers they include
# themselves, without which they would not compile.
set(layering_rules ${CMAKE_SOURCE_DIR}/tests/layering/check_layers.py)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${layering_rules})
file(READ ${layering_rules} rules)
string(REGEX MATCH "HOST_PLUGIN_INTERFACE = {[^}]*}" interface "${rules}")
string(REGEX MATCHALL "\"host/[^\"]+\\.h\"" interface "${interface}")
string(REPLACE "\"" "" host_headers "${interface}")
if(NOT host_headers)
  message(FATAL_ERROR "no HOST_PLUGIN_INTERFACE headers found in ${layering_rules}")
endif()
set(pending ${host_headers})
while(pending)
  list(POP_FRONT pending header)
  # Spelled from the include root ("host/database/store/Store.h") or beside the header ("Store.h").
  file(STRINGS ${CMAKE_SOURCE_DIR}/${header} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  get_filename_component(header_dir ${header} DIRECTORY)
  foreach(line ${includes})
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*" "\\1" included "${line}")
    if(NOT included MATCHES "^host/" AND EXISTS ${CMAKE_SOURCE_DIR}/${header_dir}/${included})
      cmake_path(SET included NORMALIZE "${header_dir}/${included}")
    endif()
    if(included MATCHES "^host/" AND NOT included IN_LIST host_headers)
      list(APPEND host_headers ${included})
      list(APPEND pending ${included})
    endif()
  endforeach()
endwhile()
foreach(header ${host_headers})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/${header} DESTINATION include/${folder})
endforeach()
install(DIRECTORY ${CMAKE_SOURCE_DIR}/platform/ DESTINATION include/platform
  FILES_MATCHING PATTERN "*.h" REGEX "/ui/gtk$" EXCLUDE)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/plugin/framework/Classes ${CMAKE_SOURCE_DIR}/plugin/framework/Categories
  DESTINATION include/plugin/framework FILES_MATCHING PATTERN "*.h")
install(FILES ${CMAKE_SOURCE_DIR}/sdk/testing/KOPATestHost.h DESTINATION include/sdk/testing)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/plugin/framework/Resources DESTINATION share/kopa/framework)

# The CMake package.
set(KOPA_INSTALL_RESOURCES share/kopa/framework/Resources)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/KopaConfig.cmake.in
  ${CMAKE_BINARY_DIR}/sdk/KopaConfig.cmake
  INSTALL_DESTINATION lib/cmake/Kopa PATH_VARS KOPA_INSTALL_RESOURCES)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/sdk/KopaConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(EXPORT KopaTargets NAMESPACE Kopa:: DESTINATION lib/cmake/Kopa)
install(FILES ${CMAKE_BINARY_DIR}/sdk/KopaConfig.cmake ${CMAKE_BINARY_DIR}/sdk/KopaConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/KopaProduct.cmake ${CMAKE_CURRENT_LIST_DIR}/KOPAProductName.cpp
  DESTINATION lib/cmake/Kopa)
