# The program's icon: one drawing (data/icons/org.orvane.Orvane.svg), rendered
# to the hicolor theme's bitmap sizes at build time.
# uses-programs: rsvg-convert
set(ORVANE_ICON_NAME org.orvane.Orvane)
set(ORVANE_ICON_SVG ${PROJECT_SOURCE_DIR}/data/icons/${ORVANE_ICON_NAME}.svg)
set(ORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)
set(ORVANE_ICON_DIR ${PROJECT_BINARY_DIR}/icons/hicolor)

find_program(RSVG_CONVERT rsvg-convert REQUIRED)

# Adds the commands that render the icon; the list of PNG files goes to `out`.
function(orvane_render_icon out)
    set(pngs)
    foreach(size IN LISTS ORVANE_ICON_SIZES)
        set(png ${ORVANE_ICON_DIR}/${size}x${size}/apps/${ORVANE_ICON_NAME}.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVANE_ICON_DIR}/${size}x${size}/apps
            COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${ORVANE_ICON_SVG}
            DEPENDS ${ORVANE_ICON_SVG}
            COMMENT "Rendering the ${size}x${size} icon" VERBATIM)
        list(APPEND pngs ${png})
    endforeach()
    set(${out} ${pngs} PARENT_SCOPE)
endfunction()
