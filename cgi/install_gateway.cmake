# Install-time part of the "gateway" component, run by cmake --install with
# the final prefix and DESTDIR. Takes PTZ_GATEWAY_DIR, PTZ_GATEWAY_STATE_DIR,
# PTZ_GATEWAY_SNIPPET, PTZ_WEB_USER and PTZ_GATEWAY_TMPFILES from the install
# script.
if(IS_ABSOLUTE "${PTZ_GATEWAY_DIR}")
  set(PTZ_GATEWAY_PATH "${PTZ_GATEWAY_DIR}")
else()
  set(PTZ_GATEWAY_PATH "${CMAKE_INSTALL_PREFIX}/${PTZ_GATEWAY_DIR}")
endif()
set(root "$ENV{DESTDIR}")

# The speed memory's folder, reached from the program's folder as cgi-bin/.
message(STATUS "Installing: ${root}${PTZ_GATEWAY_STATE_DIR}")
file(MAKE_DIRECTORY "${root}${PTZ_GATEWAY_STATE_DIR}")
message(STATUS "Installing: ${root}${PTZ_GATEWAY_PATH}/cgi-bin -> ${PTZ_GATEWAY_STATE_DIR}")
file(REMOVE "${root}${PTZ_GATEWAY_PATH}/cgi-bin")
file(CREATE_LINK "${PTZ_GATEWAY_STATE_DIR}" "${root}${PTZ_GATEWAY_PATH}/cgi-bin" SYMBOLIC)

# The folder's owner on a board that builds /var at boot; scripts/install.sh
# gives the staged folder to the same user.
set(tmpfiles "${root}${CMAKE_INSTALL_PREFIX}/lib/tmpfiles.d/ptz-gateway.conf")
message(STATUS "Installing: ${tmpfiles}")
configure_file("${PTZ_GATEWAY_TMPFILES}" "${tmpfiles}" @ONLY)

# lighttpd's snippet, enabled the way lighty-enable-mod does it.
set(available "${root}/etc/lighttpd/conf-available/50-ptz-gateway.conf")
set(enabled "${root}/etc/lighttpd/conf-enabled/50-ptz-gateway.conf")
message(STATUS "Installing: ${available}")
configure_file("${PTZ_GATEWAY_SNIPPET}" "${available}" @ONLY)
message(STATUS "Installing: ${enabled} -> ../conf-available/50-ptz-gateway.conf")
file(MAKE_DIRECTORY "${root}/etc/lighttpd/conf-enabled")
file(REMOVE "${enabled}")
file(CREATE_LINK ../conf-available/50-ptz-gateway.conf "${enabled}" SYMBOLIC)
