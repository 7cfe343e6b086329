# POSIX adapters of the host ports.
find_package(pugixml REQUIRED)
find_package(CURL REQUIRED)
find_package(OpenSSL REQUIRED)
add_library(varnoke_platform STATIC
  adapters/posix/crypto.cpp
  adapters/posix/files.cpp
  adapters/posix/http_fetch.cpp
  adapters/posix/module_folder.cpp
  adapters/posix/platform.cpp
  adapters/posix/pugi_xml.cpp
  adapters/posix/regular_file.cpp
  adapters/posix/signing.cpp
  adapters/posix/xdg_shell.cpp
  adapters/posix/xml_encoding.cpp
)
target_link_libraries(varnoke_platform PUBLIC varnoke_core PRIVATE pugixml::pugixml CURL::libcurl OpenSSL::Crypto varnoke_warnings)
