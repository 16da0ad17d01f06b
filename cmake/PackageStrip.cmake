# Run by cpack once the package's files are staged, before it packs them (CPACK_PRE_BUILD_SCRIPTS):
# takes out of the programs the compilers' notes of their versions (.comment), which cpack's strip
# leaves and which nobody who runs them needs, as Debian's own packaging does.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
if(NOT programs)
    message(FATAL_ERROR "No programs staged in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_FOLVANE_OBJCOPY}" --remove-section=.comment "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
