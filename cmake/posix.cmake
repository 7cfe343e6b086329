# POSIX adapters of the host ports.
find_package(pugixml REQUIRED)
find_package(CURL REQUIRED)
add_library(varnoke_platform STATIC
  hostapi/posix/files.cpp
  hostapi/posix/module_folder.cpp
  hostapi/posix/platform.cpp
  hostapi/posix/pugi_xml.cpp
  hostapi/posix/xdg_shell.cpp
  hostapi/posix/xml_encoding.cpp
  hostapi/xml_declaration.cpp
)
target_link_libraries(varnoke_platform PUBLIC varnoke_core PRIVATE pugixml::pugixml CURL::libcurl varnoke_warnings)
