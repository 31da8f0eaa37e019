# Runs a test program with HOME at an empty folder and the XDG folders unset
# (so they default into it), and fails if anything appears there.
#   cmake -DPROGRAM=path -DFILTER=gtest-filter -DHOME_DIR=folder -P LeavesHomeAlone.cmake
file(REMOVE_RECURSE "${HOME_DIR}")
file(MAKE_DIRECTORY "${HOME_DIR}")
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env
        --unset=XDG_CONFIG_HOME --unset=XDG_DATA_HOME --unset=XDG_CACHE_HOME
        --unset=XDG_STATE_HOME --unset=XDG_RUNTIME_DIR "HOME=${HOME_DIR}"
        "${PROGRAM}" "--gtest_filter=${FILTER}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --gtest_filter=${FILTER} failed: ${result}")
endif()
file(GLOB_RECURSE left LIST_DIRECTORIES true "${HOME_DIR}/*")
if(left)
    message(FATAL_ERROR "the tests wrote into HOME: ${left}")
endif()
file(REMOVE_RECURSE "${HOME_DIR}")
