# The samba backend's sources, added to orvane_platform.
target_sources(orvane_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/LibNetApi.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResultCodes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AccountControl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerNames.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SharePaths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Credentials.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DirectoryAccounts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DirectoryCredentials.c
    ${CMAKE_CURRENT_LIST_DIR}/DirectoryEvents.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DirectoryReading.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Directory.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RefillSnapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SambaNetApi.cpp
)
target_compile_definitions(orvane_platform PUBLIC ORVANE_HAVE_SAMBA)
# The directory is read through Samba's own client (ldb's LDAP module, signed
# on by Samba's credentials), as its tools do.
target_link_libraries(orvane_platform PRIVATE PkgConfig::NETAPI PkgConfig::SAMBA_DIRECTORY)
