# Run by cmake --install: writes the desktop entry for the program where it
# was installed and installs it (so that the install manifest lists it).
# In: desktop_in, bindir, entry_dir, applications_dir.
if(IS_ABSOLUTE "${bindir}")
  set(launcher "${bindir}/mabrel9-iv")
else()
  set(launcher "${CMAKE_INSTALL_PREFIX}/${bindir}/mabrel9-iv")
endif()
# In a folder of the system's path (the Debian package's /usr/bin) the name
# alone: the entry then works wherever the package's files are unpacked.
get_filename_component(launcher_dir "${launcher}" DIRECTORY)
if(launcher_dir MATCHES "^/(usr/(local/)?)?bin$")
  set(launcher "mabrel9-iv")
endif()
if(NOT IS_ABSOLUTE "${applications_dir}")
  set(applications_dir "${CMAKE_INSTALL_PREFIX}/${applications_dir}")
endif()

# A value of type string: backslash and control characters escaped.
function(desktop_string text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The program of an Exec line. Quoted only when it holds a character that
# freedesktop.org's desktop entry format reserves: xdg-open splits the line at spaces
# and takes no quotes, so a plain path must stay as it is.
set(program "${launcher}")
set(reserved FALSE)
foreach(c IN ITEMS " " "\t" "\n" "\"" "'" "\\" ">" "<" "~" "|" "&" ";" "$" "*" "?" "#" "(" ")" "`")
  string(FIND "${program}" "${c}" at)
  if(at GREATER -1)
    set(reserved TRUE)
  endif()
endforeach()
if(reserved)
  string(REPLACE "\\" "\\\\" program "${program}")
  string(REPLACE "\"" "\\\"" program "${program}")
  string(REPLACE "`" "\\`" program "${program}")
  string(REPLACE "$" "\\$" program "${program}")
  set(program "\"${program}\"")
endif()
string(REPLACE "%" "%%" program "${program}")
desktop_string("${program}" exec)
desktop_string("${launcher}" tryexec)

configure_file("${desktop_in}" "${entry_dir}/mabrel9-iv.desktop" @ONLY)
file(INSTALL DESTINATION "${applications_dir}" TYPE FILE FILES "${entry_dir}/mabrel9-iv.desktop")
