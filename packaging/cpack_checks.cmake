# Read by cpack before it makes each kind of package.
if(CPACK_GENERATOR STREQUAL "DEB")
    # The package's dependencies are worked out from the program's libraries,
    # by the tool a shell would run.
    find_program(PVX_DPKG_SHLIBDEPS dpkg-shlibdeps NO_CACHE NO_CMAKE_SYSTEM_PATH)
    if(NOT PVX_DPKG_SHLIBDEPS)
        message(FATAL_ERROR "The Debian package needs dpkg-shlibdeps from dpkg-dev, which is not on the PATH: "
                            "apt-get install dpkg-dev")
    endif()
endif()
