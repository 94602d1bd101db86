# The embedded machine's sources, added to orvane_platform.
target_sources(orvane_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Sqlite.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MachineDatabase.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AccountRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MachineStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EmbeddedNetApi.cpp
)
