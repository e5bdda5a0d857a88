# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack when it makes the packages: the maintainer, from the environment as Debian's
# tools take it. The name is DEBFULLNAME (else NAME), the address DEBEMAIL (else EMAIL); an
# address in the form "Name <address>" brings its name, unless DEBFULLNAME or NAME gives one.
# Without an address the packages name the default below, whose .invalid domain (reserved, RFC
# 2606) reaches nobody: set DEBFULLNAME and DEBEMAIL for packages you hand on to others.
set(_name "$ENV{DEBFULLNAME}")
if(_name STREQUAL "")
  set(_name "$ENV{NAME}")
endif()
set(_address "$ENV{DEBEMAIL}")
if(_address STREQUAL "")
  set(_address "$ENV{EMAIL}")
endif()
if(_address MATCHES "^(.*[^ ]) *<([^<>]+)>$")
  if(_name STREQUAL "")
    set(_name "${CMAKE_MATCH_1}")
  endif()
  set(_address "${CMAKE_MATCH_2}")
endif()
if(_address STREQUAL "")
  set(_name "Sentrax Configurator developers")
  set(_address "maintainer@sentrax-configurator.invalid")
elseif(_name STREQUAL "")
  set(_name "Sentrax Configurator developers")
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${_name} <${_address}>")
