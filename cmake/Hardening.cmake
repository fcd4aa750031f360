# Debian's hardening for everything built here, the programs the package
# ships and the tests that run on them alike, so the crash reporter is tested
# as it is shipped: dpkg-buildflags with every hardening feature (fortified
# functions, stack protector, relro, BIND_NOW; PIE is the compiler's default),
# less its optimisation, debug and path-mapping flags, which the build type
# and the debug-data step decide. Debian 12's dpkg knows neither stack-clash
# nor control-flow protection, so both are added here; its start files carry
# no CET marking, so the linker is told to mark the programs regardless.
# Sanitizer and fuzzing builds keep their own flags: fortified functions get
# in the way of their interceptors.
option(DF_HARDEN "Build with Debian's hardening flags and control-flow protection" ON)
if(NOT DF_HARDEN OR DF_SANITIZE OR DF_FUZZ)
    return()
endif()

find_program(DF_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
function(df_hardening_flags kind out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${DF_DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-O|^-g$|^-ffile-prefix-map=")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()

df_hardening_flags(CPPFLAGS df_cppflags)
df_hardening_flags(CXXFLAGS df_cxxflags)
df_hardening_flags(LDFLAGS df_ldflags)
add_compile_options(${df_cppflags} ${df_cxxflags} -fstack-clash-protection -fcf-protection)
add_link_options(${df_ldflags} -Wl,-z,ibt -Wl,-z,shstk)
