# A product built on the plug-in framework (a plug-in bundle, or a program such as zandrel-tool)
# names itself here; the framework library carries no product name of its own. The name leads
# the framework's log lines and titles its alerts.
#
#   kopa_product_name(Zandrel "Zandrel")
#
# The target gets KOPA_PRODUCT_NAME as a compile definition and compiles the one definition of
# the framework's KOPAProductName from it. A target that links the framework without naming
# itself fails to link (undefined KOPAProductName).
function(kopa_product_name target name)
  target_compile_definitions(${target} PRIVATE KOPA_PRODUCT_NAME="${name}")
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/KOPAProductName.cpp)
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
  add_library(${target} SHARED ${ARGN})
  kopa_product_name(${target} "${name}")
  # Linked whole: the bundle offers all of the framework to the product, whatever it uses today.
  target_link_libraries(${target}
    PUBLIC zandrel_host zandrel_platform
    PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,kopa_framework>")
  # Dependants (tests, benchmarks) see the product's headers and, through them, the framework's.
  target_include_directories(${target} PUBLIC
    ${CMAKE_CURRENT_SOURCE_DIR} $<TARGET_PROPERTY:kopa_framework,INTERFACE_INCLUDE_DIRECTORIES>)
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic -Wl,--no-undefined)
  set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${bundle_dir})

  # Resources: Info.json at the bundle's top, string tables and window descriptions under
  # Resources/, the framework's beside the product's.
  set(framework_dir ${CMAKE_SOURCE_DIR}/plugin/framework)
  file(GLOB_RECURSE product_resources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Resources/*)
  file(GLOB_RECURSE framework_resources CONFIGURE_DEPENDS ${framework_dir}/Resources/*)
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
