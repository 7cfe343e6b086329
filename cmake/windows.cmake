# The Windows side: generated COM declarations and type libraries, the
# Win32 adapters, and the component DLL itself.
set(VARNOKE_GENERATED ${CMAKE_BINARY_DIR}/generated)
set(VARNOKE_GENERATED_FILES
  ${VARNOKE_GENERATED}/VarnokeST.tlb ${VARNOKE_GENERATED}/SmartTagLib.tlb
  ${VARNOKE_GENERATED}/smarttaglib.h ${VARNOKE_GENERATED}/smarttaglib_i.c
  ${VARNOKE_GENERATED}/varnoke.h ${VARNOKE_GENERATED}/varnoke_i.c)
# The type-library generator and dumper run under Wine, 64-bit code only:
# here ordinary targets, in the i686 build a project of their own built with
# the x86_64 toolchain (its compile_commands.json in BUILD/typelib-x86_64).
if(VARNOKE_ARCH STREQUAL x86_64)
  add_subdirectory(typelib)
  set(VARNOKE_MAKE_TYPELIB $<TARGET_FILE:make_typelib>)
  set(VARNOKE_DUMP_TYPELIB $<TARGET_FILE:dump_typelib>)
  set(varnoke_generator make_typelib)
else()
  include(ExternalProject)
  set(varnoke_tools ${CMAKE_BINARY_DIR}/typelib-x86_64)
  set(VARNOKE_MAKE_TYPELIB ${varnoke_tools}/make_typelib.exe)
  set(VARNOKE_DUMP_TYPELIB ${varnoke_tools}/dump_typelib.exe)
  ExternalProject_Add(typelib_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/typelib
    BINARY_DIR ${varnoke_tools}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    # Its own build tells whether a source or com_ptr.h changed.
    BUILD_ALWAYS TRUE
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${VARNOKE_MAKE_TYPELIB} ${VARNOKE_DUMP_TYPELIB})
  set(varnoke_generator typelib_tools ${VARNOKE_MAKE_TYPELIB})
endif()
add_custom_command(
  OUTPUT ${VARNOKE_GENERATED_FILES}
  COMMAND ${CMAKE_SOURCE_DIR}/typelib/build_typelib.sh ${VARNOKE_ARCH} ${VARNOKE_GENERATED} ${VARNOKE_MAKE_TYPELIB}
  DEPENDS hostapi/smarttaglib.idl component/varnoke.idl typelib/build_typelib.sh ${varnoke_generator}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  COMMENT "Type libraries and COM declarations (${VARNOKE_ARCH})")
add_custom_target(varnoke_generated DEPENDS ${VARNOKE_GENERATED_FILES})
# The one version number, from project(), for every version resource.
configure_file(cmake/version.rc.in ${VARNOKE_GENERATED}/version.rc.h @ONLY)

add_library(varnoke_platform STATIC
  adapters/win32/com/module.cpp
  adapters/win32/com/typeinfo.cpp
  adapters/win32/crypto.cpp
  adapters/win32/files.cpp
  adapters/win32/host_objects.cpp
  adapters/win32/http_fetch.cpp
  adapters/win32/insert_at_view.cpp
  adapters/win32/module_folder.cpp
  adapters/win32/msxml_document.cpp
  adapters/win32/platform.cpp
  adapters/win32/regular_file.cpp
  adapters/win32/shell_execute.cpp
  adapters/win32/spreadsheet_dispatch.cpp
  ${VARNOKE_GENERATED}/smarttaglib_i.c
  ${VARNOKE_GENERATED}/varnoke_i.c
)
add_dependencies(varnoke_platform varnoke_generated)
target_include_directories(varnoke_platform PUBLIC ${VARNOKE_GENERATED})
target_link_libraries(varnoke_platform PUBLIC varnoke_core ole32 oleaut32 uuid shell32 winhttp user32 gdi32 bcrypt PRIVATE varnoke_warnings)

add_library(Varnoke SHARED
  component/server.cpp
  component/registration.cpp
  component/st_action_com.cpp
  component/st_recognizer_com.cpp
  component/varnoke.def
  component/varnoke.rc
)
set_target_properties(Varnoke PROPERTIES PREFIX "" OUTPUT_NAME Varnoke)
target_link_libraries(Varnoke PRIVATE varnoke_platform varnoke_warnings)
set_source_files_properties(component/varnoke.rc PROPERTIES
  OBJECT_DEPENDS ${VARNOKE_GENERATED}/VarnokeST.tlb)
target_include_directories(Varnoke PRIVATE ${VARNOKE_GENERATED})
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${VARNOKE_GENERATED}")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The .def names the exports undecorated; 32-bit stdcall symbols carry @n.
  target_link_options(Varnoke PRIVATE -Wl,--enable-stdcall-fixup)
endif()

# Release files ship stripped; their debug information stays beside them
# (Varnoke.dll.debug, varnoke.exe.debug), found by the debugger through the
# debug link.
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  set(VARNOKE_OBJCOPY ${VARNOKE_ARCH}-w64-mingw32-objcopy)
  function(varnoke_split_debug target)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${VARNOKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}> $<TARGET_FILE_NAME:${target}>.debug
      COMMAND ${VARNOKE_OBJCOPY} --strip-all $<TARGET_FILE_NAME:${target}>
      COMMAND ${VARNOKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
      COMMENT "Stripping ${target}, debug information in $<TARGET_FILE_NAME:${target}>.debug"
      VERBATIM)
  endfunction()
  varnoke_split_debug(Varnoke)
endif()
