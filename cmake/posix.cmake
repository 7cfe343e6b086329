# POSIX adapters of the host ports.
find_package(pugixml REQUIRED)
add_library(varnoke_platform STATIC
  hostapi/posix/module_folder.cpp
  hostapi/posix/platform.cpp
  hostapi/posix/pugi_xml.cpp
  hostapi/posix/xdg_shell.cpp
  hostapi/posix/xml_encoding.cpp
  hostapi/xml_declaration.cpp
)
target_link_libraries(varnoke_platform PUBLIC varnoke_core PRIVATE pugixml::pugixml varnoke_warnings)
