# Installation and the Debian package. `cmake --install` lays Kivaro out as a Linux
# desktop program under the prefix:
#   bin/kivaro, bin/kivaro-sim          the programs (run path $ORIGIN/../lib/kivaro)
#   lib/kivaro/libResource.so           the message library, private to the programs
#   lib/kivaro/kivaro-render.so         the render library as kivaro-sim --render loads it
#   lib/kivaro/kivaro-mesh-reader       the program that reads mesh files for the others
#   share/kivaro/{items,data}           the toy box and assets, copied into each user's
#                                       own folder on the first start (common/WorkingFolder)
#   share/applications, share/metainfo  desktop entry and AppStream description
#   share/icons/hicolor/<size>/apps     the icon in the theme's sizes
#   share/man/man1, share/doc/kivaro    manual pages, copyright and changelog
# `cpack` (or the target `package`) builds kivaro_<version>_<arch>.deb from the same rules.

set(kivaroPrivateLibDir lib/kivaro)
set(packagingDir ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS Resource LIBRARY DESTINATION ${kivaroPrivateLibDir})
# the render library as the module kivaro-sim --render loads from there
if(TARGET kivaro-render)
    install(TARGETS kivaro-render LIBRARY DESTINATION ${kivaroPrivateLibDir})
endif()
if(TARGET kivaro-mesh-reader)
    install(TARGETS kivaro-mesh-reader RUNTIME DESTINATION ${kivaroPrivateLibDir})
endif()
foreach(program kivaro kivaro-sim)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION bin)
    endif()
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/items ${PROJECT_SOURCE_DIR}/data DESTINATION share/kivaro)

install(FILES ${packagingDir}/kivaro.desktop DESTINATION share/applications)
install(FILES ${packagingDir}/kivaro.metainfo.xml DESTINATION share/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/src/shell/kivaro.png DESTINATION share/icons/hicolor/64x64/apps)
foreach(size 16 32 48 128 256)
    install(FILES ${packagingDir}/icons/${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps
            RENAME kivaro.png)
endforeach()

# manual pages and the changelog are installed compressed, without time stamps
find_program(GZIP_PROGRAM gzip REQUIRED)
set(compressedFiles)
foreach(source kivaro.1 kivaro-sim.1 changelog)
    set(output ${CMAKE_BINARY_DIR}/packaging/${source}.gz)
    add_custom_command(OUTPUT ${output} COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                       COMMAND ${GZIP_PROGRAM} -9nc ${packagingDir}/${source} > ${output}
                       DEPENDS ${packagingDir}/${source} VERBATIM)
    list(APPEND compressedFiles ${output})
endforeach()
add_custom_target(kivaro_packaging_files ALL DEPENDS ${compressedFiles})
install(FILES ${CMAKE_BINARY_DIR}/packaging/kivaro.1.gz ${CMAKE_BINARY_DIR}/packaging/kivaro-sim.1.gz
        DESTINATION share/man/man1)
install(FILES ${packagingDir}/copyright DESTINATION share/doc/kivaro)
# a native package (its version has no Debian revision): changelog.gz, not changelog.Debian.gz
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION share/doc/kivaro)

# the Debian package: library dependencies from dpkg-shlibdeps, the Qt platform plugin and
# a software OpenGL driver beside them (shlibdeps cannot see plugins loaded at run time)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivaro)
set(CPACK_PACKAGE_VENDOR "Kivaro developers")
set(CPACK_PACKAGE_CONTACT "Kivaro developers <kivaro@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "try out physical toys in a small 3-D world")
set(CPACK_PACKAGE_DESCRIPTION
    "Kivaro puts physical toys into a small 3-D world: a ball, dice, a coin, a\n\
ring, a roly-poly, a sliding puzzle, dominoes, billiards, a swing and a car.\n\
Grab and throw them with the mouse, pause and step the simulation, change\n\
the physical constants, and write toys of one's own as definition files.\n\
The headless simulator kivaro-sim runs the same world without a window and\n\
reports it as JSON Lines.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libgl1-mesa-dri, libegl-mesa0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# an installation into a scratch prefix, started from elsewhere with a scratch home; alone
# on the display, as the desktop program's window would take the keyboard focus of others
if(KIVARO_BUILD_TESTS AND TARGET kivaro-sim)
    add_test(NAME install_UserFolderTest
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/UserFolderTest.sh ${CMAKE_BINARY_DIR} ${CMAKE_COMMAND})
    set_tests_properties(install_UserFolderTest PROPERTIES ENVIRONMENT "ALSOFT_DRIVERS=null" TIMEOUT 120
                         RUN_SERIAL TRUE)
endif()
