# vx_widl(<target> <idl>): compiles the IDL with widl into the build tree's
# gen/ folder of the calling directory: <name>.tlb, <name>_h.h, <name>_i.c.
# <target> builds them; the folder is returned in <target>_GEN.
# The type library records the pointer size of the build it belongs to;
# importlib("stdole2.tlb") is found in Wine's library folder of that width.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VX_WIDL x86_64-w64-mingw32-widl)
  set(VX_WIDL_ARGS -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows --win64)
else()
  set(VX_WIDL i686-w64-mingw32-widl)
  set(VX_WIDL_ARGS -L/usr/lib/i386-linux-gnu/wine/i386-windows --win32)
endif()

function(vx_widl target idl)
  get_filename_component(name ${idl} NAME_WE)
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/gen)
  file(MAKE_DIRECTORY ${gen})
  # widl names the type library after the IDL, in its working folder,
  # whatever -o says: it runs in gen/ so that the file it writes is the
  # output declared here (else the step, and all that depends on it, runs
  # again on every build). A copy an older build left beside the resource
  # scripts would shadow the new one: it goes.
  add_custom_command(
    OUTPUT ${gen}/${name}.tlb ${gen}/${name}_h.h ${gen}/${name}_i.c
    COMMAND ${CMAKE_COMMAND} -E remove -f ${CMAKE_CURRENT_BINARY_DIR}/${name}.tlb
    COMMAND ${VX_WIDL} -I/usr/include/wine/wine/windows ${VX_WIDL_ARGS}
            -t -h -H ${name}_h.h -u -U ${name}_i.c
            ${idl}
    WORKING_DIRECTORY ${gen}
    DEPENDS ${idl}
    COMMENT "widl ${name}.idl"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${gen}/${name}.tlb ${gen}/${name}_h.h)
  set(${target}_GEN ${gen} PARENT_SCOPE)
endfunction()
