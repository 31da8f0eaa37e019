# cmake -DSOURCE_DIR=... -P udev_rule_test.cmake
cmake_minimum_required(VERSION 3.25)
# Guards against the udev rule and the library reading QDX_USB_IDS differently:
# a camera the library takes without access, or access given to a device it never takes.
include(${SOURCE_DIR}/packaging/UdevRule.cmake)

set(line_start "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTRS{idVendor}==")
# QDX_USB_IDS | the vendor:product pairs of the rule's lines | the entries refused
set(cases
    "CAFE:4242|cafe:4242|"
    " 1d6b:2 ,,\t0:0001|1d6b:0002,0000:0001|"
    "|| "
    "12345:1,cafe:4242,0x1:2,cafe|cafe:4242|12345:1,0x1:2,cafe")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 ids)
    list(GET fields 1 expected)
    list(GET fields 2 expected_bad)
    string(STRIP "${expected_bad}" expected_bad)
    qdx_udev_rule_lines("${ids}" lines triggers bad)
    list(JOIN bad "," bad)
    set(pairs "")
    string(REGEX MATCHALL "[^\n]+" rule_lines "${lines}")
    foreach(line IN LISTS rule_lines)
        if(NOT line MATCHES "^${line_start}\"([0-9a-f][0-9a-f][0-9a-f][0-9a-f])\", ATTRS{idProduct}==\"([0-9a-f][0-9a-f][0-9a-f][0-9a-f])\", TAG\\+=\"uaccess\", MODE=\"0660\"$")
            message(FATAL_ERROR "'${ids}': malformed line '${line}'")
        endif()
        list(APPEND pairs "${CMAKE_MATCH_1}:${CMAKE_MATCH_2}")
    endforeach()
    # The postinst's change events: one for each camera of the rule, none for other devices.
    set(triggered "")
    string(REGEX MATCHALL "[^\n]+" trigger_lines "${triggers}")
    foreach(line IN LISTS trigger_lines)
        if(NOT line MATCHES "^    udevadm trigger --action=change --subsystem-match=usb --attr-match=idVendor=([0-9a-f]+) --attr-match=idProduct=([0-9a-f]+) \\|\\| true$")
            message(FATAL_ERROR "'${ids}': malformed trigger '${line}'")
        endif()
        list(APPEND triggered "${CMAKE_MATCH_1}:${CMAKE_MATCH_2}")
    endforeach()
    list(JOIN triggered "," triggered)
    list(JOIN pairs "," pairs)
    if(NOT pairs STREQUAL expected OR NOT triggered STREQUAL expected OR NOT "${bad}" STREQUAL "${expected_bad}")
        message(FATAL_ERROR "'${ids}': lines for '${pairs}', triggers for '${triggered}', refused '${bad}'; "
                            "expected '${expected}', refused '${expected_bad}'")
    endif()
endforeach()
