# The tests of the cortex-m preset: the sample pack made by a host packcli and
# both images as the device holds them, boot marker included, and the same for
# the benchmarks' 2 MiB pair; then the power-cut program on QEMU's mps2-an386
# board for program units of 1, 16 and 256 bytes, and the 2 MiB pair at 16;
# and the signed entry with a key and signatures made by openssl.
# Run with -P, this file makes those inputs.
if(CMAKE_SCRIPT_MODE_FILE)
  # -DSOURCE_DIR, -DINPUTS, -DPACKCLI (empty: one is built in -DHOST_BUILD)
  function(run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "failed (${status}): ${ARGN}")
    endif()
  endfunction()
  if(NOT PACKCLI)
    run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${HOST_BUILD} -DCMAKE_BUILD_TYPE=RelWithDebInfo
        -DQUARNEL_BUILD_GUI=OFF -DQUARNEL_BUILD_TESTS=OFF)
    run(${CMAKE_COMMAND} --build ${HOST_BUILD} --target packcli)
    set(PACKCLI ${HOST_BUILD}/cli/packcli)
  endif()
  # The sample pair's code area, as packcli takes it: flash size, then code base.
  file(MAKE_DIRECTORY ${INPUTS})
  run(${PACKCLI} 0x400000 0x10000 examples/old.lod examples/new.lod ${INPUTS}/sample.pack)
  foreach(image old new)
    run(device/cortex-m/lod-to-image examples/${image}.lod ${INPUTS}/${image}.bin 0x10000 0x400000)
  endforeach()
  # The signed pack's key and signatures come from openssl, so the device is checked against an independent signer.
  run(openssl ecparam -name prime256v1 -genkey -out ${INPUTS}/key.pem)
  run(openssl ecparam -name prime256v1 -genkey -out ${INPUTS}/other.pem)
  run(openssl dgst -sha256 -sign ${INPUTS}/key.pem -out ${INPUTS}/sample.pack.sig ${INPUTS}/sample.pack)
  run(openssl dgst -sha256 -sign ${INPUTS}/other.pem -out ${INPUTS}/other.sig ${INPUTS}/sample.pack)
  execute_process(COMMAND openssl pkey -in ${INPUTS}/key.pem -pubout -outform DER
                  OUTPUT_FILE ${INPUTS}/public.der RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "openssl pkey failed (${status})")
  endif()
  # The DER public key ends with the 65-byte point: 0x04, X, Y. Called directly, not through run(): passing
  # the script on through ARGN would split it at its semicolons.
  execute_process(COMMAND perl -e "local $/; open my $in, '<:raw', '${INPUTS}/public.der' or die; my $der = <$in>; open my $out, '>:raw', '${INPUTS}/public.key' or die; print $out substr($der, -65);"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT EXISTS ${INPUTS}/public.key)
    message(FATAL_ERROR "the public key's point could not be cut from ${INPUTS}/public.der (${status})")
  endif()
  # The 2 MiB pair: the work memory stays the same static buffer.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  run(${Python3_EXECUTABLE} examples/make_firmware_pair.py 0x200000 1 ${INPUTS}/2m-old.lod ${INPUTS}/2m-new.lod)
  run(${PACKCLI} 0x400000 0x10000 ${INPUTS}/2m-old.lod ${INPUTS}/2m-new.lod ${INPUTS}/2m.pack)
  foreach(image old new)
    run(device/cortex-m/lod-to-image ${INPUTS}/2m-${image}.lod ${INPUTS}/2m-${image}.bin 0x10000 0x400000)
  endforeach()
  return()
endif()

enable_testing()
set(QUARNEL_HOST_PACKCLI "" CACHE FILEPATH "The host packcli that makes the sample pack; empty builds one beside")
find_program(QUARNEL_QEMU_SYSTEM_ARM qemu-system-arm)
if(NOT QUARNEL_QEMU_SYSTEM_ARM)
  message(FATAL_ERROR "the Cortex-M tests run on qemu-system-arm (scripts/install-deps cortex-m)")
endif()

set(inputs ${CMAKE_BINARY_DIR}/inputs)
add_test(NAME cortex_m_inputs
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DINPUTS=${inputs} -DPACKCLI=${QUARNEL_HOST_PACKCLI}
          -DHOST_BUILD=${CMAKE_BINARY_DIR}/host -P ${CMAKE_CURRENT_LIST_FILE})
set_tests_properties(cortex_m_inputs PROPERTIES FIXTURES_SETUP cortex_m_inputs TIMEOUT 1200)

function(add_emulated_run name pack old new unit)
  add_test(NAME ${name}
    COMMAND ${QUARNEL_QEMU_SYSTEM_ARM} -M mps2-an386 -nographic -monitor none -serial none
            -semihosting-config
            enable=on,target=native,arg=apply_harness,arg=${pack},arg=${old},arg=${new},arg=${unit}
            -kernel $<TARGET_FILE:apply_harness>
    WORKING_DIRECTORY ${inputs})
  # An emulated run takes seconds (the 2 MiB pair about a minute); a hang must not hold CI for long.
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED cortex_m_inputs TIMEOUT 600)
endfunction()
foreach(unit 1 16 256)
  add_emulated_run(cortex_m_power_cuts_unit_${unit} sample.pack old.bin new.bin ${unit})
endforeach()
add_emulated_run(cortex_m_power_cuts_2mib_unit_16 2m.pack 2m-old.bin 2m-new.bin 16)

# The signed entry: openssl's signature verified on the board, refusals without a write, power cuts.
foreach(unit 1 256)
  add_test(NAME cortex_m_signed_unit_${unit}
    COMMAND ${QUARNEL_QEMU_SYSTEM_ARM} -M mps2-an386 -nographic -monitor none -serial none
            -semihosting-config
            enable=on,target=native,arg=apply_signed_harness,arg=sample.pack,arg=old.bin,arg=new.bin,arg=public.key,arg=sample.pack.sig,arg=other.sig,arg=${unit}
            -kernel $<TARGET_FILE:apply_signed_harness>
    WORKING_DIRECTORY ${inputs})
  set_tests_properties(cortex_m_signed_unit_${unit} PROPERTIES FIXTURES_REQUIRED cortex_m_inputs TIMEOUT 600)
endforeach()
