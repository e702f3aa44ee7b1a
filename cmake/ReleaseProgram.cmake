# marivel_release_program(TARGET): a Windows program built as it ships.
# The link leaves out the functions and data nothing uses, and the C++
# library's terminate handler that writes an uncaught exception's type to
# stderr: a windowed program has no stderr, and that handler brings in the
# whole name demangler (45 KB). Either way the program ends in abort().
# After the link the symbols move to TARGET.exe.debug beside the program,
# which names that file, so gdb and addr2line still read a crash address
# of the stripped program.
function(marivel_release_program target)
    target_link_options(${target} PRIVATE -Wl,--gc-sections
        -Wl,--defsym,_ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort)
    set(program $<TARGET_FILE:${target}>)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${program} ${program}.debug
        COMMAND ${CMAKE_STRIP} ${program}
        COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${program}.debug ${program}
        COMMENT "Stripping ${target}, its symbols in a .debug file beside it"
        VERBATIM)
endfunction()
