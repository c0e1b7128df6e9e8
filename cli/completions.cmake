# Writes the completion scripts: cmake -DPROGRAM=isilonctl -DDIR=out -P completions.cmake
foreach(pair "bash;isilonctl" "zsh;_isilonctl" "fish;isilonctl.fish")
  list(GET pair 0 shell)
  list(GET pair 1 file)
  execute_process(COMMAND ${PROGRAM} completion ${shell} OUTPUT_FILE ${DIR}/${file} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} completion ${shell} failed: ${result}")
  endif()
endforeach()
