# SPDX-License-Identifier: MIT
# Run by CPack once it has made the packages: each is made again by dpkg-deb from its own contents,
# with every time SOURCE_DATE_EPOCH (from the environment, else the release date CMake worked out) and
# fixed permissions. CPack's own archives carry the clock and the umask of the moment, so two builds
# would differ; dpkg-deb sorts the files, clamps their times and writes no time of its own.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
    set(epoch ${CPACK_KESTRIN_SOURCE_DATE_EPOCH})
endif()
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    set(tree ${deb}.tree)
    file(REMOVE_RECURSE ${tree})
    execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND find ${tree} -type d -exec chmod 0755 {} + COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND find ${tree} -type f -perm /111 -exec chmod 0755 {} + COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND find ${tree} -type f ! -perm /111 -exec chmod 0644 {} + COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND find ${tree} -exec touch -h -d @${epoch} {} + COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${epoch}
                            dpkg-deb --root-owner-group -Zxz --build ${tree} ${deb}
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${tree})
endforeach()
