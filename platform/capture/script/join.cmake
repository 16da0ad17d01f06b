# cmake -D OUTPUT=file -D PARTS="a.js;b.js;..." -P join.cmake
# Joins the parts of the capture script, in the order given, into the one script that the program
# injects into the page; a blank line goes between two parts.
set(text "")
set(first TRUE)
foreach(part IN LISTS PARTS)
    file(READ "${part}" chunk)
    if(NOT first)
        string(APPEND text "\n")
    endif()
    string(APPEND text "${chunk}")
    set(first FALSE)
endforeach()
# written only when it changed, so that an unchanged script rebuilds nothing
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
    if(old STREQUAL text)
        return()
    endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
