# SPDX-License-Identifier: GPL-2.0-or-later
# Pins the first 30 s of a module as rendered (raw little-endian
# floats, no master gain, the intro's exact rendering): any change to the
# sound must be deliberate.
execute_process(COMMAND ${MODRENDER} --exact -t 30 -o - ${MODULE} OUTPUT_FILE ${OUTPUT}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "modrender failed: ${status}")
endif()
file(SHA256 ${OUTPUT} digest)
file(REMOVE ${OUTPUT})
if(NOT digest STREQUAL EXPECTED_SHA256)
  message(FATAL_ERROR "render changed: sha256 ${digest}, pinned ${EXPECTED_SHA256}")
endif()
