# The tests of the cortex-m preset: the sample pack made by a host packcli and
# both images as the device holds them, boot marker included, and the same for
# the benchmarks' 2 MiB pair; the doctored packs made from the sample by the
# host's doctored_packs; then, on QEMU's mps2-an386 board, the power-cut
# program for program units of 1, 16 and 256 bytes and the 2 MiB pair at 16,
# the same on the example port's sectors of 16, 64 and 128 KiB, the hostile
# packs, and the signed entry with a key and signatures made by openssl.
# Run with -P, this file makes those inputs.
if(CMAKE_SCRIPT_MODE_FILE)
  # -DSOURCE_DIR, -DINPUTS, -DPACKCLI and -DDOCTORED_PACKS (empty: built in -DHOST_BUILD)
  function(run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "failed (${status}): ${ARGN}")
    endif()
  endfunction()
  set(host_targets)
  if(NOT PACKCLI)
    list(APPEND host_targets packcli)
    set(PACKCLI ${HOST_BUILD}/cli/packcli)
  endif()
  if(NOT DOCTORED_PACKS)
    list(APPEND host_targets doctored_packs)
    set(DOCTORED_PACKS ${HOST_BUILD}/device/cortex-m/doctored-packs/doctored_packs)
  endif()
  if(host_targets)
    run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${HOST_BUILD} -DCMAKE_BUILD_TYPE=RelWithDebInfo
        -DQUARNEL_BUILD_GUI=OFF -DQUARNEL_BUILD_TESTS=OFF)
    run(${CMAKE_COMMAND} --build ${HOST_BUILD} --target ${host_targets})
  endif()
  # The sample pair's code area, as packcli takes it: flash size, then code base.
  file(MAKE_DIRECTORY ${INPUTS})
  run(${PACKCLI} 0x400000 0x10000 examples/old.lod examples/new.lod ${INPUTS}/sample.pack)
  foreach(image old new)
    run(device/cortex-m/lod-to-image examples/${image}.lod ${INPUTS}/${image}.bin 0x10000 0x400000)
  endforeach()
  # Packs made to hurt the applier, and the foreign pack of the sample's size; made here, kept nowhere.
  run(${DOCTORED_PACKS} ${INPUTS}/sample.pack ${INPUTS}/old.bin ${INPUTS}/new.bin ${INPUTS})
  # The signed pack's key and signatures come from openssl, so the device is checked against an independent signer.
  run(openssl ecparam -name prime256v1 -genkey -out ${INPUTS}/key.pem)
  run(openssl ecparam -name prime256v1 -genkey -out ${INPUTS}/other.pem)
  run(openssl dgst -sha256 -sign ${INPUTS}/key.pem -out ${INPUTS}/sample.pack.sig ${INPUTS}/sample.pack)
  run(openssl dgst -sha256 -sign ${INPUTS}/other.pem -out ${INPUTS}/other.sig ${INPUTS}/sample.pack)
  # The DER public key ends with the 65-byte point (0x04, X, Y) that the device takes.
  run(openssl pkey -in ${INPUTS}/key.pem -pubout -outform DER -out ${INPUTS}/public.der)
  execute_process(COMMAND perl -0777 -ne "print substr($_, -65)" ${INPUTS}/public.der
                  OUTPUT_FILE ${INPUTS}/public.key RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the public key's point could not be cut out (${status})")
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
set(QUARNEL_HOST_DOCTORED_PACKS "" CACHE FILEPATH
    "The host doctored_packs that makes the hostile and foreign packs; empty builds one beside")
find_program(QUARNEL_QEMU_SYSTEM_ARM qemu-system-arm)
if(NOT QUARNEL_QEMU_SYSTEM_ARM)
  message(FATAL_ERROR "the Cortex-M tests run on qemu-system-arm (scripts/install-deps cortex-m)")
endif()

set(inputs ${CMAKE_BINARY_DIR}/inputs)
add_test(NAME cortex_m_inputs
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DINPUTS=${inputs} -DPACKCLI=${QUARNEL_HOST_PACKCLI}
          -DDOCTORED_PACKS=${QUARNEL_HOST_DOCTORED_PACKS} -DHOST_BUILD=${CMAKE_BINARY_DIR}/host
          -P ${CMAKE_CURRENT_LIST_FILE})
set_tests_properties(cortex_m_inputs PROPERTIES FIXTURES_SETUP cortex_m_inputs TIMEOUT 1200)

# One run of a board program, its arguments passed by semihosting; QEMU's options take a comma doubled.
function(add_board_run name program)
  set(config enable=on,target=native,arg=${program})
  foreach(argument IN LISTS ARGN)
    string(REPLACE "," ",," argument "${argument}")
    string(APPEND config ",arg=${argument}")
  endforeach()
  add_test(NAME ${name}
    COMMAND ${QUARNEL_QEMU_SYSTEM_ARM} -M mps2-an386 -nographic -monitor none -serial none
            -semihosting-config ${config} -kernel $<TARGET_FILE:${program}>
    WORKING_DIRECTORY ${inputs})
  # A run takes seconds (a 2 MiB pair about a minute); a hang must not hold CI for long.
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED cortex_m_inputs TIMEOUT 600)
endfunction()

foreach(unit 1 16 256)
  add_board_run(cortex_m_power_cuts_unit_${unit} apply_harness sample.pack old.bin new.bin ${unit})
endforeach()
add_board_run(cortex_m_power_cuts_2mib_unit_16 apply_harness 2m.pack 2m-old.bin 2m-new.bin 16)

# The example port's flash (examples/internal-flash): 16 KiB x 4, 64 KiB, 128 KiB x 7, its double word of 8
# bytes as the program unit; the 2 MiB pair on more of the same 128 KiB sectors.
set(example_sectors 16K*4,64K,128K*7)
foreach(unit 8 256)
  add_board_run(cortex_m_sectors_128k_unit_${unit} apply_harness --sectors ${example_sectors}
                sample.pack old.bin new.bin ${unit})
endforeach()
add_board_run(cortex_m_sectors_128k_2mib_unit_16 apply_harness --sectors 16K*4,64K,128K*18
              2m.pack 2m-old.bin 2m-new.bin 16)

# Refused by the call and the query with nothing written, each with the code after its colon.
set(hostile_packs damaged-table-1.pack:7 damaged-table-2.pack:7 damaged-table-3.pack:7 damaged-table-4.pack:7
    empty-records.pack:8 overlong-stream.pack:8 no-chunks.pack:8)
add_board_run(cortex_m_hostile_packs apply_hostile_harness old.bin new.bin ${hostile_packs})
add_board_run(cortex_m_hostile_packs_sectors_128k apply_hostile_harness --sectors ${example_sectors}
              old.bin new.bin ${hostile_packs})

# The signed entry, when the library has it: openssl's signature verified on the board, refusals without a
# write, power cuts, and a store that swaps to the foreign pack.
if(TARGET apply_signed_harness)
  foreach(unit 1 256)
    add_board_run(cortex_m_signed_unit_${unit} apply_signed_harness sample.pack old.bin new.bin public.key
                  sample.pack.sig other.sig foreign.pack foreign.site ${unit})
  endforeach()
endif()
