# Compresses one file as `gzip -9n` does: the best compression, and neither
# the file's name nor a time in the header, so the bytes depend on the
# content alone (a package built twice holds the same file).
#   cmake -DGZIP=gzip -DINPUT=file -DOUTPUT=file.gz -P gzip_file.cmake
# The result appears under its name only when whole.
execute_process(COMMAND ${GZIP} -9n -c
                INPUT_FILE ${INPUT} OUTPUT_FILE ${OUTPUT}.part
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "${GZIP} -9n failed on ${INPUT}: ${status}")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
