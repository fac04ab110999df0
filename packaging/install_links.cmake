# Run by `cmake --install`: the links in bin/, the desktop entries with the installed
# paths, and the desktop's databases of map types and of the programs that open them
# when the files go straight to their place, so that a double click works at once.
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(MAKE_DIRECTORY "${root}/bin")
foreach(program tivarel tivarel-import)
  if(EXISTS "${root}/lib/tivarel/${program}")
    file(CREATE_LINK "../lib/tivarel/${program}" "${root}/bin/${program}" SYMBOLIC)
  endif()
endforeach()

# Runs a database tool on an installed folder when it is there; a failure only warns.
function(tivarel_update_database tool folder)
  find_program(tool_path ${tool} NO_CACHE)
  if(NOT tool_path OR NOT "$ENV{DESTDIR}" STREQUAL "")
    return()
  endif()
  execute_process(COMMAND "${tool_path}" "${folder}" RESULT_VARIABLE status OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(NOT status EQUAL 0)
    message(WARNING "${tool} ${folder}: ${said}")
  endif()
endfunction()

if(EXISTS "${root}/lib/tivarel/tivarel")
  set(TIVAREL_BIN_PATH "${CMAKE_INSTALL_PREFIX}/bin")
  # The viewer opens its own map types; the import command, which starts the viewer on
  # what it converts, opens the field's maps and reflections. Both templates lie together.
  get_filename_component(packaging "${TIVAREL_DESKTOP_TEMPLATE}" DIRECTORY)
  configure_file("${TIVAREL_DESKTOP_TEMPLATE}" "${root}/share/applications/tivarel.desktop" @ONLY)
  if(EXISTS "${root}/lib/tivarel/tivarel-import")
    configure_file("${packaging}/tivarel-import.desktop.in" "${root}/share/applications/tivarel-import.desktop" @ONLY)
  endif()
  tivarel_update_database(update-mime-database "${root}/share/mime")
  tivarel_update_database(update-desktop-database "${root}/share/applications")
endif()
