# The Debian package of the installed tree (scripts/package builds it with
# cpack). Library dependencies are computed by dpkg-shlibdeps; what the window
# needs besides libraries is declared here: its fonts, Qt's translations and
# platform plugins (X11 and Wayland), the file browser, the administrator's
# prompt and Kerberos' kinit and klist (the samba backend's tickets).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane developers <developers@orvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bulk administration of user accounts on multi-user hosts")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvane creates accounts in bulk, as a numbered run or from a\n"
    "comma-separated account table after a preview, puts accounts into local\n"
    "groups and takes them out, deletes accounts, and gives each account a home\n"
    "folder under one home root, which it can register as its home directory\n"
    "and share on the network. Every outcome is a time-stamped line in the\n"
    "window's execution log. It works on this machine's own accounts (kept\n"
    "in step with its Samba), on a Samba or Windows server, or on a practice\n"
    "machine of its own.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://orvane.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-noto-cjk, fonts-wine, qt6-translations-l10n, qt6-qpa-plugins, qt6-wayland, xdg-utils, pkexec, samba-dsdb-modules, passwd, samba-common-bin, krb5-user")
# A rehearsal of a domain controller serves its copy with Samba's own DC.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "samba, samba-ad-provision")
# The administrator's entry's settings stay the site's across upgrades.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/data/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Debian wants the copyright and a changelog with every package.
set(ORVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/orvane)
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright DESTINATION ${ORVANE_DOC_DIR})
set(ORVANE_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${ORVANE_CHANGELOG}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/data/changelog > ${ORVANE_CHANGELOG}
    DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog)
add_custom_target(orvane_changelog ALL DEPENDS ${ORVANE_CHANGELOG})
install(FILES ${ORVANE_CHANGELOG} DESTINATION ${ORVANE_DOC_DIR})
# The manual page, once for each of the four commands.
set(ORVANE_MANUAL ${PROJECT_BINARY_DIR}/orvane.1.gz)
add_custom_command(OUTPUT ${ORVANE_MANUAL}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/data/orvane.1 > ${ORVANE_MANUAL}
    DEPENDS ${PROJECT_SOURCE_DIR}/data/orvane.1)
add_custom_target(orvane_manual ALL DEPENDS ${ORVANE_MANUAL})
install(FILES ${ORVANE_MANUAL} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
foreach(alias orvane-admin orvane-practice orvane-rehearse)
    install(CODE "file(CREATE_LINK orvane.1.gz
        \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/${alias}.1.gz SYMBOLIC)")
endforeach()
# uses-programs: gzip

include(CPack)
