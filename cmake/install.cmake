# cmake --install: the programs, the headers of the libraries (runtime, files,
# linalg, field, scheme, learn and attack), their static libraries, a CMake package
# (find_package(gf3mq CONFIG REQUIRED) gives gf3mq::gf3mq) and a pkg-config
# file.
include(CMakePackageConfigHelpers)

set(GF3MQ_PROGRAMS gf3mq-demo gf3mq-keygen gf3mq-tables gf3mq-encrypt gf3mq-decrypt gf3mq-check gf3mq-attack gf3mq-show)
install(TARGETS ${GF3MQ_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS gf3mq gf3mq_runtime gf3mq_files gf3mq_linalg gf3mq_field gf3mq_scheme gf3mq_learn gf3mq_attack EXPORT gf3mqTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# Every header of the libraries is interface and compiles on its own, except
# these two of the kernel sources: the byte vectors and target attributes of
# the kernels, and the bit-plane comb of the polynomial product. They are not
# installed (the install test compiles each installed header alone).
set(GF3MQ_KERNEL_HEADERS simd_bytes.h poly_mul_planes.h)
set(GF3MQ_HEADER_EXCLUDES)
foreach(header IN LISTS GF3MQ_KERNEL_HEADERS)
  list(APPEND GF3MQ_HEADER_EXCLUDES PATTERN ${header} EXCLUDE)
endforeach()
install(DIRECTORY runtime files linalg field scheme learn attack DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/gf3mq
        FILES_MATCHING PATTERN "*.h" ${GF3MQ_HEADER_EXCLUDES})

set(GF3MQ_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/gf3mq)
install(EXPORT gf3mqTargets NAMESPACE gf3mq:: DESTINATION ${GF3MQ_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/gf3mqConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/gf3mqConfig.cmake INSTALL_DESTINATION ${GF3MQ_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/gf3mqConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/gf3mqConfig.cmake ${PROJECT_BINARY_DIR}/gf3mqConfigVersion.cmake
        DESTINATION ${GF3MQ_CMAKE_DIR})

# gf3mq.pc finds the prefix from where it lies: as many ".." as the
# pkgconfig folder is deep below the prefix.
set(GF3MQ_PC_PREFIX "\${pcfiledir}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(GF3MQ_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  string(REPLACE "/" ";" GF3MQ_PC_DEPTH "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  foreach(part IN LISTS GF3MQ_PC_DEPTH)
    string(APPEND GF3MQ_PC_PREFIX "/..")
  endforeach()
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/gf3mq.pc.in ${PROJECT_BINARY_DIR}/gf3mq.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/gf3mq.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
