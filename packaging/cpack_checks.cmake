# Read by cpack before it makes each kind of package: says what to install
# when a tool the package needs is not on the PATH.
if(CPACK_GENERATOR STREQUAL "DEB")
    # The package's dependencies are worked out from the program's libraries
    # by dpkg-shlibdeps, on the files that `file` finds to be programs.
    set(tools dpkg-shlibdeps file)
    set(packages dpkg-dev file)
    set(missing)
    foreach(tool package IN ZIP_LISTS tools packages)
        unset(found)
        find_program(found ${tool} NO_CACHE NO_CMAKE_SYSTEM_PATH)
        if(NOT found)
            list(APPEND missing ${package})
        endif()
    endforeach()
    if(missing)
        list(JOIN missing " " missing)
        message(FATAL_ERROR "The Debian package needs tools from packages that are not installed (${missing}): "
                            "apt-get install ${missing}")
    endif()
endif()
