# A product built on the plug-in framework (a plug-in bundle, or a program such as zandrel-tool)
# names itself here; the framework library carries no product name of its own. The name leads
# the framework's log lines and titles its alerts.
#
#   kopa_product_name(Zandrel "Zandrel")
#
# The target gets KOPA_PRODUCT_NAME as a compile definition and compiles the one definition of
# the framework's KOPAProductName from it. A target that links the framework without naming
# itself fails to link (undefined KOPAProductName).
#
# The same functions serve this repository and plug-ins built against the installed SDK
# (find_package(Kopa CONFIG), which installs this file beside KOPAProductName.cpp): the targets
# and the framework's resources are found where this file was included from.
set_property(GLOBAL PROPERTY KOPA_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})
if(NOT DEFINED KOPA_FRAMEWORK_RESOURCES_DIR)
  set(KOPA_FRAMEWORK_RESOURCES_DIR ${CMAKE_SOURCE_DIR}/plugin/framework/Resources)
endif()
set_property(GLOBAL PROPERTY KOPA_FRAMEWORK_RESOURCES_DIR ${KOPA_FRAMEWORK_RESOURCES_DIR})

function(kopa_product_name target name)
  get_property(cmake_dir GLOBAL PROPERTY KOPA_CMAKE_DIR)
  target_compile_definitions(${target} PRIVATE KOPA_PRODUCT_NAME="${name}")
  target_sources(${target} PRIVATE ${cmake_dir}/KOPAProductName.cpp)
endfunction()

# The libraries a product links: the tree's own targets, or the SDK's imported ones.
function(_kopa_targets out_framework out_host out_platform)
  if(TARGET kopa_framework)
    set(${out_framework} kopa_framework PARENT_SCOPE)
    set(${out_host} zandrel_host PARENT_SCOPE)
    set(${out_platform} zandrel_platform PARENT_SCOPE)
  else()
    set(${out_framework} Kopa::framework PARENT_SCOPE)
    set(${out_host} Kopa::host PARENT_SCOPE)
    set(${out_platform} Kopa::platform PARENT_SCOPE)
  endif()
endfunction()

# kopa_plugin_bundle(TARGET NAME BUNDLE_DIR SOURCES...)
# A plug-in bundle: a shared library of the product's SOURCES with the whole framework linked in,
# placed in BUNDLE_DIR together with the product's Resources/ (its Info.json at the bundle's top)
# and the framework's resources. The product's folder (the caller's) is its include root.
#
# Each bundle carries its own copy of the framework, and the host loads bundles into one
# process with their symbols global; -Bsymbolic makes every bundle bind the framework's
# symbols (the shared plug-in object, the session registry) to its own copy.
function(kopa_plugin_bundle target name bundle_dir)
  _kopa_targets(framework host platform)
  add_library(${target} SHARED ${ARGN})
  kopa_product_name(${target} "${name}")
  # Linked whole: the bundle offers all of the framework to the product, whatever it uses today.
  target_link_libraries(${target}
    PUBLIC ${host} ${platform}
    PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${framework}>")
  # Dependants (tests, benchmarks) see the product's headers and, through them, the framework's.
  target_include_directories(${target} PUBLIC
    ${CMAKE_CURRENT_SOURCE_DIR} $<TARGET_PROPERTY:${framework},INTERFACE_INCLUDE_DIRECTORIES>)
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic -Wl,--no-undefined)
  set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${bundle_dir})

  # Resources: Info.json at the bundle's top, string tables and window descriptions under
  # Resources/, the framework's beside the product's.
  get_property(framework_resources_dir GLOBAL PROPERTY KOPA_FRAMEWORK_RESOURCES_DIR)
  get_filename_component(framework_dir ${framework_resources_dir} DIRECTORY)
  file(GLOB_RECURSE product_resources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Resources/*)
  file(GLOB_RECURSE framework_resources CONFIGURE_DEPENDS ${framework_resources_dir}/*)
  set(copied)
  foreach(res ${product_resources} ${framework_resources})
    if(res IN_LIST framework_resources)
      file(RELATIVE_PATH rel ${framework_dir} ${res})
    else()
      file(RELATIVE_PATH rel ${CMAKE_CURRENT_SOURCE_DIR} ${res})
    endif()
    if(rel STREQUAL "Resources/Info.json")
      set(rel "Info.json")
    endif()
    add_custom_command(OUTPUT ${bundle_dir}/${rel}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${res} ${bundle_dir}/${rel}
      DEPENDS ${res})
    list(APPEND copied ${bundle_dir}/${rel})
  endforeach()
  add_custom_target(${target}Resources ALL DEPENDS ${copied})
  add_dependencies(${target} ${target}Resources)

  # Installed as built: PlugIns/NAME.plugin/ beside bin/ and lib/, finding the host's libraries
  # two folders up.
  get_filename_component(bundle_name ${bundle_dir} NAME)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../../lib")
  install(TARGETS ${target} LIBRARY DESTINATION PlugIns/${bundle_name})
  install(DIRECTORY ${bundle_dir}/ DESTINATION PlugIns/${bundle_name} PATTERN "*.so" EXCLUDE)
endfunction()
