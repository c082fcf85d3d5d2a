# Run by CPack on the staging folders before it makes the packages: every file and folder gets the
# time SOURCE_DATE_EPOCH (from the environment, else the release date CMake worked out) and the
# permissions Debian expects (0755 for folders and programs, 0644 for the rest), so that two builds
# give the same bytes whatever their clock and umask.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
    set(epoch ${CPACK_KESTRIN_SOURCE_DATE_EPOCH})
endif()
set(root ${CPACK_TEMPORARY_DIRECTORY})
execute_process(COMMAND find ${root} -type d -exec chmod 0755 {} +
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND find ${root} -type f -perm /111 -exec chmod 0755 {} +
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND find ${root} -type f ! -perm /111 -exec chmod 0644 {} +
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND find ${root} -exec touch -h -d @${epoch} {} +
                COMMAND_ERROR_IS_FATAL ANY)
