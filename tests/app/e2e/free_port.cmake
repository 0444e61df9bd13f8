# kestrin_free_port(VAR DESCRIPTION): sets the cache variable VAR, unless it is set already, to a
# local port that nothing listened on when the build was configured. The programs under test read
# no arguments and no environment, so their notice address is compiled in; the cache keeps the
# port for rebuilds, and the tests say so plainly when it has been taken since.
function(kestrin_free_port var description)
  if(${var})
    return()
  endif()
  string(RANDOM LENGTH 4 ALPHABET 0123456789 _seed)
  foreach(_attempt RANGE 0 19)
    # Below the kernel's ephemeral range, where outgoing connections take their ports.
    math(EXPR _port "20000 + (1${_seed} + ${_attempt} * 397) % 12000")
    file(DOWNLOAD "http://127.0.0.1:${_port}/" "${CMAKE_CURRENT_BINARY_DIR}/port_probe"
         STATUS _status TIMEOUT 2 INACTIVITY_TIMEOUT 2)
    file(REMOVE "${CMAKE_CURRENT_BINARY_DIR}/port_probe")
    list(GET _status 0 _code)
    if(_code EQUAL 7)  # curl: could not connect, so nobody listens there
      set(${var} ${_port} CACHE STRING "${description}")
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "no free local port found for: ${description}")
endfunction()
