# Install-time part of the packaging folder: writes the manual pages for the prefix being
# installed to, compresses them as Debian wants them (no time stamp) and installs them, with
# vidora-demo(1) as a link to vidora(1).
function(vidora_full_path out path)
    if(IS_ABSOLUTE "${path}")
        set(${out} "${path}" PARENT_SCOPE)
    else()
        set(${out} "${CMAKE_INSTALL_PREFIX}/${path}" PARENT_SCOPE)
    endif()
endfunction()

vidora_full_path(VIDORA_FULL_SKIN_DIR "${VIDORA_INSTALL_SKIN_DIR}")
vidora_full_path(VIDORA_FULL_DATA_DIR "${VIDORA_MAN_DATADIR}/vidora")
vidora_full_path(VIDORA_FULL_UDEV_RULES "${VIDORA_INSTALL_UDEV_RULES_DIR}/70-halcap.rules")

file(REMOVE_RECURSE "${VIDORA_MAN_WORK}")
file(MAKE_DIRECTORY "${VIDORA_MAN_WORK}")
foreach(page vidora.1 vidora-installer.1)
    configure_file("${VIDORA_MAN_SOURCES}/${page}.in" "${VIDORA_MAN_WORK}/${page}" @ONLY)
    execute_process(COMMAND gzip -9n "${VIDORA_MAN_WORK}/${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(CREATE_LINK vidora.1.gz "${VIDORA_MAN_WORK}/vidora-demo.1.gz" SYMBOLIC)

vidora_full_path(man1 "${VIDORA_INSTALL_MANDIR}/man1")
file(INSTALL "${VIDORA_MAN_WORK}/vidora.1.gz" "${VIDORA_MAN_WORK}/vidora-demo.1.gz"
     "${VIDORA_MAN_WORK}/vidora-installer.1.gz" DESTINATION "${man1}")
