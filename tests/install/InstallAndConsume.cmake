# cmake -P script: install BUILD_DIR into a prefix under WORK_DIR, check the installed
# files (BINDIR, LIBDIR, INCLUDEDIR and MANDIR are the project's install folders), then
# configure, build and run the consumer project in CONSUMER_DIR against it.
cmake_minimum_required(VERSION 3.25)

foreach(var BUILD_DIR WORK_DIR CONSUMER_DIR SAMPLE GENERATOR CXX_COMPILER BINDIR LIBDIR INCLUDEDIR
            MANDIR)
    if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

function(run_step what)
    execute_process(COMMAND ${ARGN}
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
    endif()
    set(step_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(installed
        ${BINDIR}/splicetrc
        ${BINDIR}/trcinfo
        ${LIBDIR}/libxcf.a
        ${INCLUDEDIR}/capfile/read/CXcfCaptureFileParserFactory.h
        ${INCLUDEDIR}/capfile/common/CXcfCaptureFileCommon.h
        ${INCLUDEDIR}/record/CXcfCaptureRecord.h
        ${MANDIR}/man1/splicetrc.1
        ${MANDIR}/man1/trcinfo.1
        ${LIBDIR}/cmake/splicetrc/splicetrcConfig.cmake
        ${LIBDIR}/cmake/splicetrc/splicetrcConfigVersion.cmake)
    if(NOT EXISTS ${prefix}/${installed})
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
# Only the library's headers belong under include/, not the front end's or the tests'.
file(GLOB_RECURSE stray RELATIVE ${prefix}/${INCLUDEDIR}
    ${prefix}/${INCLUDEDIR}/*)
list(FILTER stray EXCLUDE REGEX "^(record|capfile)/.*\\.h$")
if(stray)
    message(FATAL_ERROR "unexpected files under include/: ${stray}")
endif()

# The consumer is compiled by the same compiler; an instrumented library brings its own
# link options through the package.
set(consumer_build ${WORK_DIR}/consumer-build)
set(configure_args -S ${CONSUMER_DIR} -B ${consumer_build} -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
if(MAKE_PROGRAM)
    list(APPEND configure_args -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
if(BUILD_TYPE)
    list(APPEND configure_args -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
endif()
run_step("consumer configure" ${CMAKE_COMMAND} ${configure_args})
run_step("consumer build" ${CMAKE_COMMAND} --build ${consumer_build})

run_step("consumer run" ${consumer_build}/consumer ${SAMPLE})
if(NOT step_output STREQUAL "B3 file with 25 records\n")
    message(FATAL_ERROR "unexpected consumer output: '${step_output}'")
endif()
run_step("installed trcinfo" ${prefix}/${BINDIR}/trcinfo ${SAMPLE})
if(NOT step_output MATCHES "Number of records  : 25\n")
    message(FATAL_ERROR "unexpected trcinfo output: '${step_output}'")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
