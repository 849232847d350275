find_program(XXHSUM xxhsum REQUIRED)
set(ORVANTA_WRITE_DIGESTS ${CMAKE_CURRENT_LIST_DIR}/WriteDigests.cmake)

# bootstrapper_digest_table(<table file> <id> <file> ...)
#
# Makes the build write the digest table of the given "BIN" resources (WriteDigests.cmake)
# whenever one of the files changes. The table goes into the executable as the resource
# DIGESTS 1, which the bootstrapper checks every copied resource against.
function(bootstrapper_digest_table table)
    set(files)
    set(index 1)
    list(LENGTH ARGN count)
    while(index LESS count)
        list(GET ARGN ${index} file)
        list(APPEND files ${file})
        math(EXPR index "${index} + 2")
    endwhile()
    add_custom_command(OUTPUT ${table}
        COMMAND ${CMAKE_COMMAND} -DXXHSUM=${XXHSUM} -DOUTPUT=${table} "-DPAYLOADS=${ARGN}"
                -P ${ORVANTA_WRITE_DIGESTS}
        DEPENDS ${files} ${ORVANTA_WRITE_DIGESTS}
        COMMENT "Recording the digests of the payloads in ${table}"
        VERBATIM)
endfunction()

# bootstrapper_resource_script(<rc file> <id> <file> ...)
#
# Writes a resource script with the common resources, the given files as "BIN" resources,
# language English (United Kingdom), and their digest table, and makes it depend on all of
# them. The target that compiles the script must also list <rc file>.digests as a source,
# so that the table is made first.
function(bootstrapper_resource_script rc)
    set(payloads ${ARGN})
    list(LENGTH payloads count)
    math(EXPR odd "${count} % 2")
    if(odd)
        message(FATAL_ERROR "bootstrapper_resource_script(${rc}): takes pairs of id and file")
    endif()

    set(digests ${rc}.digests)
    bootstrapper_digest_table(${digests} ${payloads})
    set(script "#include \"${ORVANTA_RESOURCE_SCRIPT}\"\n")
    string(APPEND script "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK\n")
    string(APPEND script "1 DIGESTS \"${digests}\"\n")
    set(files)
    set(index 0)
    while(index LESS count)
        list(GET payloads ${index} id)
        math(EXPR next "${index} + 1")
        list(GET payloads ${next} file)
        string(APPEND script "${id} BIN \"${file}\"\n")
        list(APPEND files ${file})
        math(EXPR index "${index} + 2")
    endwhile()

    file(CONFIGURE OUTPUT ${rc} CONTENT "${script}" @ONLY)
    set_source_files_properties(${rc} PROPERTIES
        OBJECT_DEPENDS "${files};${digests};${ORVANTA_RESOURCE_DEPENDS}")
endfunction()

# add_bootstrapper(<target>
#     [OUTPUT_NAME <name>]
#     [PAYLOADS <resource id> <file> ...]
#     [DEPENDS <target> ...])
#
# Makes one variant of the setup executable: the entry point, the bootstrapper's code,
# the common resources (dialogs, icons, licence, manifest) and the given files as
# resources of type "BIN", language English (United Kingdom). Test variants use it to
# carry other payloads than the shipped product.
function(add_bootstrapper target)
    cmake_parse_arguments(PARSE_ARGV 1 BOOT "" "OUTPUT_NAME" "PAYLOADS;DEPENDS")

    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    bootstrapper_resource_script(${rc} ${BOOT_PAYLOADS})

    add_executable(${target} WIN32 $<TARGET_OBJECTS:orvanta_main> ${rc} ${rc}.digests)
    target_link_libraries(${target} PRIVATE orvanta_core)
    target_include_directories(${target} PRIVATE ${ORVANTA_RESOURCE_DIR})
    # The shipped file is over 500 MB and is mapped twice (as the process image and as
    # the view the resource walk reads), so it needs more than 2 GB of address space to
    # be safe. A file alignment of 4096 lets Wine map the image lazily instead of
    # reading all of it into memory at start-up.
    target_link_options(${target} PRIVATE
        -municode -mwindows
        -Wl,--large-address-aware
        -Wl,--file-alignment,4096)
    if(BOOT_OUTPUT_NAME)
        set_target_properties(${target} PROPERTIES OUTPUT_NAME ${BOOT_OUTPUT_NAME})
    endif()
    if(BOOT_DEPENDS)
        add_dependencies(${target} ${BOOT_DEPENDS})
    endif()
endfunction()
