# The program's version is set once, in project(): this writes it into a
# header for the resource compiler (VERSIONINFO and the About page) in the
# build tree's resources folder, which is on the resource include path.
# scripts/package.sh reads the same version from the build tree's cache.
set(KEYWARDEN_VERSION_PATCH 0)
if(PROJECT_VERSION_PATCH)
    set(KEYWARDEN_VERSION_PATCH ${PROJECT_VERSION_PATCH})
endif()
set(KEYWARDEN_VERSION_HEADER ${CMAKE_BINARY_DIR}/resources/keywarden_version.h)
configure_file(${CMAKE_CURRENT_LIST_DIR}/keywarden_version.h.in ${KEYWARDEN_VERSION_HEADER} @ONLY)

# CMake's scan of the .rc file looks for headers beside the sources only, so
# a new version would not recompile the resources: name the header as a
# dependency in every directory that compiles them, once all are added.
function(keywarden_version_depends dir)
    set_property(SOURCE ${CMAKE_SOURCE_DIR}/resources/keywarden.rc DIRECTORY ${dir}
        APPEND PROPERTY OBJECT_DEPENDS ${KEYWARDEN_VERSION_HEADER})
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(sub IN LISTS subdirs)
        keywarden_version_depends(${sub})
    endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL keywarden_version_depends ${CMAKE_SOURCE_DIR})
