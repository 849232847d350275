# cmake -DXXHSUM=<xxhsum> -DOUTPUT=<file> "-DPAYLOADS=<id>;<file>;..." -P WriteDigests.cmake
#
# Writes the digest table the bootstrapper checks its "BIN" resources against: the line
# "XXH3-64", then one line per resource with its decimal id, a blank and the 16 hex digits
# of the XXH3 64-bit digest of the file, each line ended by a line feed.
set(table "XXH3-64\n")
list(LENGTH PAYLOADS count)
set(index 0)
while(index LESS count)
    list(GET PAYLOADS ${index} id)
    math(EXPR next "${index} + 1")
    list(GET PAYLOADS ${next} file)
    # Read from standard input, so that no digit of the file's name can be taken for the digest.
    execute_process(COMMAND ${XXHSUM} -H3 INPUT_FILE ${file}
        OUTPUT_VARIABLE output RESULT_VARIABLE result ERROR_VARIABLE error)
    string(REGEX MATCH "[0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]" digest "${output}")
    if(NOT result EQUAL 0 OR NOT digest)
        message(FATAL_ERROR "xxhsum -H3 failed for ${file}: ${result} ${output}${error}")
    endif()
    string(APPEND table "${id} ${digest}\n")
    math(EXPR index "${index} + 2")
endwhile()
file(WRITE ${OUTPUT} "${table}")
