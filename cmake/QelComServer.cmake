# qel_com_server(<target>): the shared library exports the four entry points of an
# in-process server (DllRegisterServer, DllUnregisterServer, DllGetClassObject,
# DllCanUnloadNow, declared extern "C") and nothing else. With no other symbol
# visible, nothing binds the file in place, so CoFreeUnusedLibraries can unload it.
set(_QEL_COM_SERVER_MAP ${CMAKE_CURRENT_LIST_DIR}/com_server.map)
function(qel_com_server target)
  target_link_options(${target} PRIVATE "LINKER:--version-script=${_QEL_COM_SERVER_MAP}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_QEL_COM_SERVER_MAP})
endfunction()
