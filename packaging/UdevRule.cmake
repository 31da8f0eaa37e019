# qdx_udev_rule_lines(IDS OUT TRIGGERS ERROR): the udev rule's lines for the camera IDs
# in IDS, written as the library reads QDX_USB_IDS ("vvvv:pppp[,...]", one to
# four hex digits each, blanks around an entry and empty entries ignored), so
# that the rule gives access to the very cameras the library takes. udev
# compares the four lower-case digits of sysfs. TRIGGERS: the shell lines that
# send udev a change event for each such camera. ERROR names a malformed entry.
function(qdx_udev_rule_lines ids out triggers error)
    set(lines "")
    set(trigger_lines "")
    set(bad "")
    string(REPLACE "," ";" ids "${ids}")
    foreach(id IN LISTS ids)
        string(STRIP "${id}" id)
        string(TOLOWER "${id}" id)
        if(id MATCHES "^([0-9a-f]+):([0-9a-f]+)$")
            set(vendor ${CMAKE_MATCH_1})
            set(product ${CMAKE_MATCH_2})
            string(LENGTH "${vendor}" vendor_digits)
            string(LENGTH "${product}" product_digits)
            if(vendor_digits GREATER 4 OR product_digits GREATER 4)
                list(APPEND bad "${id}")
                continue()
            endif()
            math(EXPR vendor_pad "4 - ${vendor_digits}")
            math(EXPR product_pad "4 - ${product_digits}")
            string(REPEAT 0 ${vendor_pad} vendor_zeros)
            string(REPEAT 0 ${product_pad} product_zeros)
            string(APPEND lines
                "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTRS{idVendor}==\"${vendor_zeros}${vendor}\", "
                "ATTRS{idProduct}==\"${product_zeros}${product}\", TAG+=\"uaccess\", MODE=\"0660\"\n")
            string(APPEND trigger_lines "    udevadm trigger --action=change --subsystem-match=usb "
                "--attr-match=idVendor=${vendor_zeros}${vendor} --attr-match=idProduct=${product_zeros}${product} || true\n")
        elseif(id)
            list(APPEND bad "${id}")
        endif()
    endforeach()
    set(${out} "${lines}" PARENT_SCOPE)
    set(${triggers} "${trigger_lines}" PARENT_SCOPE)
    set(${error} "${bad}" PARENT_SCOPE)
endfunction()
