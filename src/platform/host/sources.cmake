# This Linux machine's own accounts, added to orvane_platform.
target_sources(orvane_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/LoginDefs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AccountFiles.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostAccounts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AccountSnapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PasswordPolicy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SambaCallScope.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SambaPassdb.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SambaAccounts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SambaGroupMap.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegistryShares.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SambaShares.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostNetApi.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostBackend.cpp
)
target_link_libraries(orvane_platform PRIVATE ${SMBCONF_LIBRARY} ${SAMBA_PASSDB_LIBRARY}
    PkgConfig::SAMBA_REGISTRY)
