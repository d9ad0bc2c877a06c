# cmake -P script with two steps.
#   STEP=install: install BUILD_DIR into PREFIX and check the installed files (BINDIR, LIBDIR,
#     INCLUDEDIR, MANDIR and DATADIR are the project's install folders), the installed trcinfo
#     and, with PYTHON and PYTHON_SITE, the installed Python package.
#   STEP=consume: configure, build and run the consumer project in CONSUMER_DIR against the
#     package in PREFIX, in WORK_DIR, with COMPILER (of COMPILER_FAMILY) and CXX_FLAGS.
#     LIBRARY_FAMILY and COVERAGE describe how the installed library was built.
# A consumer that cannot be built here prints "consumer skipped: " and the reason.
cmake_minimum_required(VERSION 3.25)

function(require)
    foreach(var ${ARGN})
        if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
            message(FATAL_ERROR "${var} is not set")
        endif()
    endforeach()
endfunction()

function(run_step what)
    execute_process(COMMAND ${ARGN}
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
    endif()
    set(step_output "${out}" PARENT_SCOPE)
endfunction()

function(skip reason)
    message("consumer skipped: ${reason}")
endfunction()

if(STEP STREQUAL "install")
    require(BUILD_DIR PREFIX SAMPLE BINDIR LIBDIR INCLUDEDIR MANDIR DATADIR)
    file(REMOVE_RECURSE ${PREFIX})
    run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})

    foreach(installed
            ${BINDIR}/splicetrc
            ${BINDIR}/trcinfo
            ${LIBDIR}/libsplicetrc.a
            ${INCLUDEDIR}/splicetrc/capfile/read/CXcfCaptureFileParserFactory.h
            ${INCLUDEDIR}/splicetrc/capfile/common/CXcfCaptureFileCommon.h
            ${INCLUDEDIR}/splicetrc/record/CXcfCaptureRecord.h
            ${MANDIR}/man1/splicetrc.1
            ${MANDIR}/man1/trcinfo.1
            ${MANDIR}/man1/trc2pcap.1
            ${MANDIR}/man7/trcfile.lua.7
            ${DATADIR}/splicetrc/wireshark/trcfile.lua
            ${LIBDIR}/cmake/splicetrc/splicetrcConfig.cmake
            ${LIBDIR}/cmake/splicetrc/splicetrcConfigVersion.cmake)
        if(NOT EXISTS ${PREFIX}/${installed})
            message(FATAL_ERROR "not installed: ${installed}")
        endif()
    endforeach()
    # Only the library's public headers belong under include/splicetrc/: not the front end's,
    # the tests', or a header of the library's own that none of them includes.
    file(GLOB_RECURSE stray RELATIVE ${PREFIX}/${INCLUDEDIR} ${PREFIX}/${INCLUDEDIR}/*)
    list(FILTER stray EXCLUDE REGEX "^splicetrc/(record|capfile)/.*\\.h$")
    if(EXISTS ${PREFIX}/${INCLUDEDIR}/splicetrc/record/CXcfDimString.h)
        list(APPEND stray splicetrc/record/CXcfDimString.h)
    endif()
    if(stray)
        message(FATAL_ERROR "unexpected files under include/: ${stray}")
    endif()

    run_step("installed trcinfo" ${PREFIX}/${BINDIR}/trcinfo ${SAMPLE})
    if(NOT step_output MATCHES "Number of records  : 25\n")
        message(FATAL_ERROR "unexpected trcinfo output: '${step_output}'")
    endif()
    # The Python package, where the build has one: imported from the site folder alone (lines,
    # not semicolons, in the code: CMake would split it there).
    if(PYTHON AND PYTHON_SITE)
        run_step("installed Python package" ${CMAKE_COMMAND} -E env
                 PYTHONPATH=${PREFIX}/${PYTHON_SITE} ${PYTHON} -c
                 "import splicetrc\nprint(splicetrc.__file__)\nprint(len(splicetrc.open('${SAMPLE}')))")
        if(NOT step_output MATCHES "^${PREFIX}/${PYTHON_SITE}/splicetrc/__init__.py\n25\n$")
            message(FATAL_ERROR "unexpected Python output: '${step_output}'")
        endif()
    endif()
    return()
endif()

if(NOT STEP STREQUAL "consume")
    message(FATAL_ERROR "STEP must be install or consume, not '${STEP}'")
endif()
require(PREFIX WORK_DIR CONSUMER_DIR SAMPLE GENERATOR COMPILER COMPILER_FAMILY LIBRARY_FAMILY)

if(IS_ABSOLUTE "${COMPILER}")
    set(compiler_path ${COMPILER})
else()
    find_program(compiler_path NAMES ${COMPILER} NO_CACHE)
endif()
if(NOT compiler_path)
    skip("${COMPILER} is not installed")
    return()
endif()
# gcov counters of one compiler family need that family's runtime. A sanitizer build needs
# nothing of the kind: both families' runtimes serve either's instrumentation.
if(COVERAGE AND NOT COMPILER_FAMILY STREQUAL LIBRARY_FAMILY)
    skip("a ${LIBRARY_FAMILY} coverage build links only with ${LIBRARY_FAMILY}'s coverage runtime")
    return()
endif()

file(REMOVE_RECURSE ${WORK_DIR})
set(configure_args -S ${CONSUMER_DIR} -B ${WORK_DIR} -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_CXX_COMPILER=${compiler_path}
    -DSPLICETRC_EXPECTED_VERSION=${VERSION}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}")
if(MAKE_PROGRAM)
    list(APPEND configure_args -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
endif()
if(BUILD_TYPE)
    list(APPEND configure_args -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
endif()
run_step("consumer configure (${compiler_path} ${CXX_FLAGS})" ${CMAKE_COMMAND} ${configure_args})
run_step("consumer build (${compiler_path} ${CXX_FLAGS})" ${CMAKE_COMMAND} --build ${WORK_DIR})

run_step("consumer run" ${WORK_DIR}/consumer ${SAMPLE})
if(NOT step_output STREQUAL "B3 file with 25 records\n")
    message(FATAL_ERROR "unexpected consumer output: '${step_output}'")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
