# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build twice, once into a plain prefix and once as a package would (prefix /usr
# under DESTDIR), and checks both hold exactly the two programs, their manual pages, the menu
# entry, the software centres' description (AppStream), the icons, the licence and the changelog.
#
#   cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DSTAGING_DIR=<scratch> [-DCONFIG=<cfg>]
#         -P check_install.cmake

foreach(var IN ITEMS BUILD_DIR SOURCE_DIR STAGING_DIR)
    if(NOT ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

set(program kelvora-staerkeneditor)
set(companion kelvora-staerken)
set(programs ${program} ${companion})
set(failures 0)

function(fail text)
    message(SEND_ERROR "FAIL: ${text}")
    math(EXPR count "${failures} + 1")
    set(failures ${count} PARENT_SCOPE)
endfunction()

# `cmake --install`, failing the test on any error it reports.
function(install_build prefix destdir)
    set(config_args)
    if(CONFIG)
        set(config_args --config ${CONFIG})
    endif()
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env "DESTDIR=${destdir}"
            ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${config_args}
        RESULT_VARIABLE result
        OUTPUT_VARIABLE output
        ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cmake --install --prefix ${prefix} (DESTDIR='${destdir}') failed:\n${output}")
    endif()
endfunction()

function(file_mode path out)
    execute_process(COMMAND stat -c %a ${path} OUTPUT_VARIABLE mode OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(${out} "${mode}" PARENT_SCOPE)
endfunction()

# Width and height from a PNG's IHDR chunk, as "<w>x<h>".
function(png_size path out)
    file(READ ${path} header LIMIT 24 HEX)
    string(SUBSTRING "${header}" 0 16 signature)
    if(NOT signature STREQUAL "89504e470d0a1a0a")
        set(${out} "not a PNG" PARENT_SCOPE)
        return()
    endif()
    string(SUBSTRING "${header}" 32 8 width_hex)
    string(SUBSTRING "${header}" 40 8 height_hex)
    math(EXPR width "0x${width_hex}")
    math(EXPR height "0x${height_hex}")
    set(${out} "${width}x${height}" PARENT_SCOPE)
endfunction()

# The value of the first "key=" line of a desktop entry.
function(desktop_value path key out)
    file(STRINGS ${path} lines REGEX "^${key}=" ENCODING UTF-8)
    if(NOT lines)
        set(${out} "" PARENT_SCOPE)
        return()
    endif()
    list(GET lines 0 line)
    string(LENGTH "${key}=" skip)
    string(SUBSTRING "${line}" ${skip} -1 value)
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# Every icon drawn in the source tree is installed under the same size folder, and nothing else.
file(GLOB source_icons RELATIVE ${SOURCE_DIR}/resources/icons
    ${SOURCE_DIR}/resources/icons/hicolor/*/apps/${program}.png)
if(NOT source_icons)
    message(FATAL_ERROR "no hicolor icons found under ${SOURCE_DIR}/resources/icons")
endif()
set(expected share/applications/${program}.desktop
    share/metainfo/invalid.kelvora.staerkeneditor.metainfo.xml
    share/mime/packages/${program}.xml
    share/doc/${program}/copyright share/doc/${program}/changelog.gz)
foreach(name IN LISTS programs)
    list(APPEND expected bin/${name} share/man/man1/${name}.1.gz)
endforeach()
foreach(icon IN LISTS source_icons)
    list(APPEND expected share/icons/${icon})
endforeach()
list(SORT expected)

# Checks one installed program file: an executable ELF whose libraries all come from the system.
function(check_program root name label)
    set(installed_program ${root}/bin/${name})
    file_mode(${installed_program} mode)
    if(NOT mode STREQUAL "755")
        fail("${label}: bin/${name} has mode ${mode}, not 755")
    endif()
    file(READ ${installed_program} magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46")
        fail("${label}: bin/${name} is not an ELF executable")
    endif()
    # Every library the program needs comes from the system, none from the build or staging tree.
    file(GET_RUNTIME_DEPENDENCIES EXECUTABLES ${installed_program}
        RESOLVED_DEPENDENCIES_VAR resolved UNRESOLVED_DEPENDENCIES_VAR unresolved)
    if(unresolved)
        fail("${label}: bin/${name} needs libraries that are not found: ${unresolved}")
    endif()
    foreach(library IN LISTS resolved)
        cmake_path(IS_PREFIX BUILD_DIR ${library} NORMALIZE in_build)
        cmake_path(IS_PREFIX STAGING_DIR ${library} NORMALIZE in_staging)
        if(in_build OR in_staging)
            fail("${label}: bin/${name} loads ${library} from the build tree")
        endif()
    endforeach()
    set(failures ${failures} PARENT_SCOPE)
endfunction()

# The file type of strength files: the menu entry and the AppStream description declare the one
# the mime package defines, and shared-mime-info's own compiler takes the package.
function(check_file_type root label)
    set(type application/x-kelvora-staerken)
    desktop_value(${root}/share/applications/${program}.desktop MimeType value)
    file(STRINGS ${root}/share/metainfo/invalid.kelvora.staerkeneditor.metainfo.xml provided
        REGEX "<mediatype>${type}</mediatype>")
    if(NOT value STREQUAL "${type};" OR NOT provided)
        fail("${label}: the menu entry (MimeType=${value}) or AppStream does not declare ${type}")
    endif()
    set(database ${STAGING_DIR}/mime)
    file(REMOVE_RECURSE ${database})
    file(COPY ${root}/share/mime/packages DESTINATION ${database})
    execute_process(COMMAND update-mime-database ${database}
        RESULT_VARIABLE failed OUTPUT_QUIET ERROR_VARIABLE report)
    file(STRINGS ${database}/globs2 globs REGEX ":${type}:\\*_sp\\*\\.cfg$")
    file(STRINGS ${database}/application/x-kelvora-staerken.xml comment ENCODING UTF-8
        REGEX "<comment xml:lang=\"de\">Stärke-Konfigurationsdatei</comment>")
    if(NOT failed EQUAL 0 OR NOT globs OR NOT comment)
        fail("${label}: update-mime-database (Debian's shared-mime-info) does not take "
            "${program}.xml as ${type} for *_sp*.cfg with its German comment:\n${report}")
    endif()
    set(failures ${failures} PARENT_SCOPE)
endfunction()

# Checks one installed tree rooted at <root> (the prefix as seen on disk).
function(check_tree root label)
    file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
    list(SORT found)
    if(NOT found STREQUAL expected)
        set(extra ${found})
        list(REMOVE_ITEM extra ${expected})
        set(missing ${expected})
        if(found)
            list(REMOVE_ITEM missing ${found})
        endif()
        fail("${label}: installed files differ\n  unexpected: ${extra}\n  missing: ${missing}")
        set(failures ${failures} PARENT_SCOPE)
        return()
    endif()

    foreach(name IN LISTS programs)
        check_program(${root} ${name} "${label}")
    endforeach()
    # The companion runs without a display: no Qt Widgets, no Qt Gui.
    file(GET_RUNTIME_DEPENDENCIES EXECUTABLES ${root}/bin/${companion}
        RESOLVED_DEPENDENCIES_VAR resolved UNRESOLVED_DEPENDENCIES_VAR unresolved)
    if(resolved MATCHES "libQt6(Widgets|Gui)")
        fail("${label}: bin/${companion} loads Qt Widgets or Qt Gui: ${resolved}")
    endif()

    foreach(data IN LISTS expected)
        if(data MATCHES "^bin/")
            continue()
        endif()
        file_mode(${root}/${data} mode)
        if(NOT mode STREQUAL "644")
            fail("${label}: ${data} has mode ${mode}, not 644")
        endif()
    endforeach()

    foreach(icon IN LISTS source_icons)
        set(installed_icon ${root}/share/icons/${icon})
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
            ${SOURCE_DIR}/resources/icons/${icon} ${installed_icon} RESULT_VARIABLE differs)
        if(differs)
            fail("${label}: share/icons/${icon} differs from the source icon")
        endif()
        # The theme picks an icon by its folder, so the folder must match the picture.
        string(REGEX MATCH "hicolor/([^/]+)/" folder_match "${icon}")
        png_size(${installed_icon} actual)
        if(NOT actual STREQUAL CMAKE_MATCH_1)
            fail("${label}: share/icons/${icon} is ${actual}, not ${CMAKE_MATCH_1}")
        endif()
    endforeach()

    set(entry ${root}/share/applications/${program}.desktop)
    set(wanted_Name "Kelvora Stärkeneditor")
    set(wanted_Exec "${program} %f") # a file manager hands over the file or folder opened with it
    set(wanted_TryExec ${program})
    set(wanted_Icon ${program})
    set(wanted_Type Application)
    set(wanted_Terminal false)
    foreach(key IN ITEMS Name Exec TryExec Icon Type Terminal)
        desktop_value(${entry} ${key} value)
        if(NOT value STREQUAL wanted_${key})
            fail("${label}: ${program}.desktop has ${key}=${value}, not ${wanted_${key}}")
        endif()
    endforeach()
    foreach(key IN ITEMS GenericName Comment)
        desktop_value(${entry} ${key} value)
        if(value STREQUAL "")
            fail("${label}: ${program}.desktop has no ${key}")
        endif()
    endforeach()

    check_file_type(${root} "${label}")

    find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
    if(DESKTOP_FILE_VALIDATE)
        execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${entry}
            RESULT_VARIABLE invalid OUTPUT_VARIABLE report ERROR_VARIABLE report)
        # It exits 0 on hints too; only errors make it fail, and warnings are worth failing on.
        if(invalid OR report MATCHES "error:|warning:")
            fail("${label}: desktop-file-validate rejects ${program}.desktop:\n${report}")
        endif()
    else()
        message(STATUS "SKIP: desktop-file-validate not found (Debian package desktop-file-utils); "
            "${program}.desktop not validated")
    endif()

    # The AppStream description with what it refers to in the tree (the menu entry among them).
    find_program(APPSTREAMCLI appstreamcli)
    if(APPSTREAMCLI)
        execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net ${root}
            RESULT_VARIABLE invalid OUTPUT_VARIABLE report ERROR_VARIABLE report)
        if(invalid)
            fail("${label}: appstreamcli rejects the installed AppStream description:\n${report}")
        endif()
    else()
        message(STATUS "SKIP: appstreamcli not found (Debian package appstream); not validated")
    endif()
    set(failures ${failures} PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${STAGING_DIR})

install_build(${STAGING_DIR}/prefix "")
check_tree(${STAGING_DIR}/prefix "--prefix")

# A package installs under /usr; with DESTDIR nothing may land outside it.
install_build(/usr ${STAGING_DIR}/destdir)
file(GLOB outside LIST_DIRECTORIES true RELATIVE ${STAGING_DIR}/destdir ${STAGING_DIR}/destdir/*)
if(NOT outside STREQUAL "usr")
    fail("DESTDIR: top-level entries are '${outside}', not only usr")
endif()
check_tree(${STAGING_DIR}/destdir/usr "DESTDIR with --prefix /usr")

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} install check(s) failed")
endif()
list(JOIN expected "\n  " listing)
message(STATUS "installed exactly:\n  ${listing}")
