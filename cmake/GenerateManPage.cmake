# Writes the manual page of zorbek-cli from its command table: cmake -DCLI=... -DOUT=... -P
# The page is written as OUT (roff) and OUT.gz (as installed).
execute_process(COMMAND "${CLI}" --man OUTPUT_FILE "${OUT}.tmp" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE "${OUT}.tmp")
  message(FATAL_ERROR "zorbek-cli --man failed: ${rc}")
endif()
file(RENAME "${OUT}.tmp" "${OUT}")
# -n: no name or time stamp inside, so an unchanged page gives an unchanged file.
execute_process(COMMAND gzip -9 -n -c "${OUT}" OUTPUT_FILE "${OUT}.gz" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip of ${OUT} failed: ${rc}")
endif()
