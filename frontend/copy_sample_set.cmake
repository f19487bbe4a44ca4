# cmake -DFROM=folder -DTO=folder -P copy_sample_set.cmake
# Copies those of the sample set's three files that exist.
foreach(name amus.dat amus.mda amus.txt)
  if(EXISTS "${FROM}/${name}")
    file(COPY_FILE "${FROM}/${name}" "${TO}/${name}" ONLY_IF_DIFFERENT)
  endif()
endforeach()
