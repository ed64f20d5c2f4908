# Writes the manual page of ovista from its --help text, so that the two never differ.
#   cmake -DPROGRAM=<ovista> -DVERSION=<version> -DOUTPUT=<ovista.1> -P manual_page.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help ended with ${status}")
endif()
# The usage line becomes the synopsis; the rest is kept as laid out, made safe for roff.
string(REGEX REPLACE "^Usage:[^\n]*\n" "" help "${help}")
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(WRITE ${OUTPUT} ".TH OVISTA 1 \"\" \"ovista ${VERSION}\" \"User Commands\"
.SH NAME
ovista \\- herd fertility report writer
.SH SYNOPSIS
.B ovista
[\\fIKEY\\fR...]
.SH DESCRIPTION
.nf
${help}.fi
.SH SEE ALSO
/usr/share/doc/ovista
")
