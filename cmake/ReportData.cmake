# df_embed_report_data(target)
# After each link, writes the crash-reporting configuration block for the
# program and stores it in the executable as the section QXDATA. The section
# is not loaded into memory; the program reads it from its own file. The
# block carries the debug data that names the program's frames, read from its
# DWARF first, so the program may be stripped afterwards.
function(df_embed_report_data target)
    set(program $<TARGET_FILE:${target}>)
    set(block ${program}.qxdata)
    set(names ${program}.debugdata)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND $<TARGET_FILE:df-debug-data> ${program} ${names}
        COMMAND $<TARGET_FILE:report-block> ${program} ${block} ${names}
        COMMAND ${CMAKE_OBJCOPY} --remove-section=QXDATA
                --add-section QXDATA=${block} --set-section-flags QXDATA=readonly ${program}
        COMMENT "Storing the crash-reporting configuration in ${target}"
        VERBATIM)
    add_dependencies(${target} report-block df-debug-data)
endfunction()
