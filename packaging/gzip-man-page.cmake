# Compresses one manual page with gzip at the highest level, for installation.
# Run in the folder of the page: cmake -DPAGE=quillon.1 -DOUTPUT=/abs/quillon.1.gz -P gzip-man-page.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT PAGE OR NOT OUTPUT)
  message(FATAL_ERROR "usage: cmake -DPAGE=NAME.1 -DOUTPUT=FILE.gz -P gzip-man-page.cmake")
endif()
file(ARCHIVE_CREATE OUTPUT ${OUTPUT} PATHS ${PAGE} FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 9)
