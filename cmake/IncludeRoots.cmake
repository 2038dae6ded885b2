# Include roots per layer.
#
# Sources include headers by their path from the repository root ("platform/foundation/Value.h",
# "host/database/model/DLPObjectContext.h", "plugin/framework/Classes/VEXAPlugin.h"). Putting the
# repository root on the include path would let any layer reach any other, so instead each layer
# gets a folder of its own in the build tree holding one symbolic link to its sources:
#
#   <build>/include/platform/platform          -> <source>/platform
#   <build>/include/host/host                  -> <source>/host
#   <build>/include/framework/plugin/framework -> <source>/plugin/framework
#
# A target publishes its root, so "host/..." resolves only for targets that link the host.

set(ZANDREL_INCLUDE_ROOTS ${CMAKE_BINARY_DIR}/include)

# zandrel_include_root(TARGET SCOPE ROOT_NAME SOURCE_SUBDIR)
# Adds <build>/include/ROOT_NAME (holding SOURCE_SUBDIR) to TARGET's include path with SCOPE.
function(zandrel_include_root target scope root_name source_subdir)
  set(root ${ZANDREL_INCLUDE_ROOTS}/${root_name})
  set(link ${root}/${source_subdir})
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${source_subdir})
    message(FATAL_ERROR "include root ${root_name}: ${CMAKE_SOURCE_DIR}/${source_subdir} does not exist")
  endif()
  set(current "")
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} current)
  endif()
  # Relinked when the build tree was configured for another checkout before.
  if(NOT current STREQUAL "${CMAKE_SOURCE_DIR}/${source_subdir}")
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(REMOVE ${link})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${source_subdir} ${link} SYMBOLIC)
  endif()
  # Installed (cmake/KopaSdk.cmake), every layer's headers sit under one include/ folder, spelled
  # the same way.
  target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${root}> $<INSTALL_INTERFACE:include>)
endfunction()
