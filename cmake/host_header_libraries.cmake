# When cross-compiling, the header-only libraries come from the build
# machine's Debian packages: CLI11, nlohmann-json and toml++ (used header-only
# here; Debian's package config would link its Linux shared library). Their
# folders are linked into one staging folder, so that the cross compiler sees
# those headers and no other header of the build machine.
set(_staging ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_staging})
foreach(_folder CLI nlohmann toml++)
  if(NOT EXISTS /usr/include/${_folder})
    message(FATAL_ERROR "/usr/include/${_folder} is missing: run scripts/setup.sh")
  endif()
  file(CREATE_LINK /usr/include/${_folder} ${_staging}/${_folder} SYMBOLIC)
endforeach()

foreach(_target CLI11::CLI11 nlohmann_json::nlohmann_json tomlplusplus::tomlplusplus)
  add_library(${_target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${_target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_staging})
endforeach()
set_property(TARGET tomlplusplus::tomlplusplus PROPERTY INTERFACE_COMPILE_DEFINITIONS TOML_HEADER_ONLY=1)
set(CLI11_FOUND TRUE)
set(nlohmann_json_FOUND TRUE)
set(tomlplusplus_FOUND TRUE)
