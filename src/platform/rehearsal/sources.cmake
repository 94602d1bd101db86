# A disposable copy of the site, added to orvane_platform.
target_sources(orvane_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/MountTable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SiteCopy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostSite.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Supervisor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostRehearsal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ChosenFolder.cpp
)
target_sources(orvane_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/DomainController.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DcCopy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CopyStep.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SiteShares.cpp
)
