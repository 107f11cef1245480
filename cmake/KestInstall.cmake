# Delivery: what `cmake --install` puts under the prefix, and the package a control program
# finds it by (find_package(Kest CONFIG) or pkg-config kest).
#
#   lib/      the four deliverables (each with its private framework copy inside), the platform
#             and window-layer libraries they need, the board and digital-I/O libraries, and
#             libKestLib20.a, the framework library a control program links its own copy of
#   bin/      the gpi program
#   include/kest/  every header in the tree's own layout ("Kest20/KestApplication.h", ...)
#   lib/cmake/Kest/, lib/pkgconfig/kest.pc
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The framework library as an archive, for programs that link their own copy of it; the whole
# archive goes in so every class record and the module record are kept.
add_library(KestLib20Archive STATIC $<TARGET_OBJECTS:KestLib20>)
set_target_properties(KestLib20Archive PROPERTIES OUTPUT_NAME KestLib20 EXPORT_NAME KestLib20Archive)
target_link_libraries(KestLib20Archive PUBLIC KestPlatform)
# (The installed package defines the same target itself: an exported genex would keep the
# target's in-tree name.)
add_library(KestLib20Whole INTERFACE)
target_link_libraries(KestLib20Whole INTERFACE "$<LINK_LIBRARY:WHOLE_ARCHIVE,KestLib20Archive>")

# Libraries that carry the version: the deliverables and the platform layer. The vendor
# stand-ins (board and card libraries) keep the plain names a site's own builds would have.
set(KEST_VERSIONED_LIBS KestPlatform KestUi KestDb Kest20 Devext20 KsOvra20 Pinio)
set(KEST_VENDOR_LIBS PCOMM adsapi32 hpvslapi)
set_target_properties(${KEST_VERSIONED_LIBS} PROPERTIES
                      VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
# Installed libraries find each other, and the libraries loaded by name, beside themselves.
set_target_properties(${KEST_VERSIONED_LIBS} ${KEST_VENDOR_LIBS} PROPERTIES
                      INSTALL_RPATH "$ORIGIN")
set_target_properties(gpi PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

# What a caller must share: the headers' root, C++20 and the execution charset the texts are
# written in (and the sanitizers, when the system was built with them).
set(KEST_CALLER_OPTIONS -finput-charset=UTF-8 -fexec-charset=GB18030)
set(KEST_CALLER_LINK_OPTIONS "")
if(KEST_SANITIZE)
    list(APPEND KEST_CALLER_OPTIONS -fsanitize=address,undefined -fno-omit-frame-pointer)
    list(APPEND KEST_CALLER_LINK_OPTIONS -fsanitize=address,undefined)
endif()
if(KEST_TSAN)
    list(APPEND KEST_CALLER_OPTIONS -fsanitize=thread)
    list(APPEND KEST_CALLER_LINK_OPTIONS -fsanitize=thread)
endif()
target_include_directories(KestPlatform INTERFACE
                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/kest>)
target_compile_features(KestPlatform INTERFACE cxx_std_20)
target_compile_options(KestPlatform INTERFACE $<INSTALL_INTERFACE:${KEST_CALLER_OPTIONS}>)
target_link_options(KestPlatform INTERFACE $<INSTALL_INTERFACE:${KEST_CALLER_LINK_OPTIONS}>)

# In the tree, the same names a control program uses against an installed system.
foreach(t Kest20 Devext20 KsOvra20 Pinio KestPlatform KestUi KestDb)
    add_library(Kest::${t} ALIAS ${t})
endforeach()
add_library(Kest::KestLib20 ALIAS KestLib20Whole)

# Everything installed is built by one target, `deliverables` (scripts/run.sh builds it beside
# the example), so an install after it finds every file.
add_custom_target(deliverables)
add_dependencies(deliverables ${KEST_VERSIONED_LIBS} ${KEST_VENDOR_LIBS} KestLib20Archive gpi)

install(TARGETS ${KEST_VERSIONED_LIBS} ${KEST_VENDOR_LIBS} KestLib20Archive
        EXPORT KestTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS gpi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(dir platform KestLib20 Kest20 devext drivers gpi)
    install(DIRECTORY ${CMAKE_SOURCE_DIR}/${dir} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kest
            FILES_MATCHING PATTERN "*.h" PATTERN "main" EXCLUDE)
endforeach()

install(EXPORT KestTargets NAMESPACE Kest:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Kest)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/KestConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/KestConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Kest)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/KestConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/KestConfig.cmake ${CMAKE_BINARY_DIR}/KestConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Kest)

list(JOIN KEST_CALLER_OPTIONS " " KEST_PC_CFLAGS)
list(JOIN KEST_CALLER_LINK_OPTIONS " " KEST_PC_LDFLAGS)
configure_file(${CMAKE_SOURCE_DIR}/cmake/kest.pc.in ${CMAKE_BINARY_DIR}/kest.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/kest.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
