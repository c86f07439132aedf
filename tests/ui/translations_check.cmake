# Fails when a translation file leaves a text untranslated, lacks a text the sources mark for
# translation, or keeps one they no longer have. The file itself is never written: lupdate
# updates a copy. Run as: cmake -DLUPDATE=... -DTS=... -DWORK=... -DSOURCES=a|b -DOPTIONS=x|y -P this
foreach(v LUPDATE TS WORK SOURCES)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "${v} is not given")
  endif()
endforeach()
string(REPLACE "|" ";" SOURCES "${SOURCES}")
string(REPLACE "|" ";" OPTIONS "${OPTIONS}")
get_filename_component(name "${TS}" NAME)

# Lists each <source> of a message whose translation is of a kind in `types`.
function(messages_of_type file types out)
  file(READ "${file}" ts)
  string(REGEX MATCHALL "<source>[^<]*</source>[ \t\r\n]*(<comment>[^<]*</comment>[ \t\r\n]*)?<translation type=\"(${types})\""
         found "${ts}")
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

messages_of_type("${TS}" "unfinished|vanished|obsolete" stale)
if(stale)
  string(REPLACE ";" "\n" stale "${stale}")
  message(FATAL_ERROR "${TS} has messages left untranslated or no longer in the sources:\n${stale}")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY "${TS}" DESTINATION "${WORK}")
execute_process(COMMAND "${LUPDATE}" ${OPTIONS} ${SOURCES} -ts "${WORK}/${name}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${rc})")
endif()
# lupdate warns of a tr() it cannot give a context: that text would never be translated.
if(err MATCHES "[Ww]arning")
  message(FATAL_ERROR "lupdate warned about the sources")
endif()
messages_of_type("${WORK}/${name}" "unfinished" added)
messages_of_type("${WORK}/${name}" "vanished|obsolete" gone)
if(added OR gone)
  string(REPLACE ";" "\n" added "${added}")
  string(REPLACE ";" "\n" gone "${gone}")
  message(FATAL_ERROR "${name} is behind the sources; build the target zefto_translations_lupdate, "
                      "translate what it adds and commit the file.\nNot in ${name}:\n${added}\n"
                      "No longer in the sources:\n${gone}")
endif()
