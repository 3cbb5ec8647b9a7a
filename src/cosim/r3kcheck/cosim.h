/* r3kcheck's lock-step checker: the reference processor stepped once per
 * instruction a processor under test retires, stopping at the first one that
 * differs and naming it in the image's terms (routine, case, values, code).
 *
 *   r3k_cosim_options options;
 *   r3k_cosim_default_options(&options);
 *   r3k_cosim* checker;
 *   if (r3k_cosim_open("image.elf", &options, &checker) != R3K_COSIM_OK) ... r3k_cosim_last_error()
 *   per retirement: switch (r3k_cosim_step(checker, &record)) { ... }
 *   r3k_cosim_report(checker) after a mismatch, r3k_cosim_verdict(checker) at the end
 *   r3k_cosim_close(checker);
 *
 * Nothing here prints or aborts: every failure is a negative return code with
 * a message. A checker is used by one thread at a time. C99 and C++. */
#ifndef R3KCHECK_COSIM_H
#define R3KCHECK_COSIM_H

#include <stdint.h>

#if defined(R3K_COSIM_BUILDING)
#define R3K_COSIM_API __attribute__((visibility("default")))
#else
#define R3K_COSIM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define R3K_COSIM_VERSION 1

/* The parts of a retirement record a core reports (r3k_cosim_options.reports). */
#define R3K_COSIM_REPORTS_WORD 0x01u      /* the instruction word */
#define R3K_COSIM_REPORTS_REG 0x02u       /* the register written and its value */
#define R3K_COSIM_REPORTS_HI_LO 0x04u     /* HI and LO when written */
#define R3K_COSIM_REPORTS_STORE 0x08u     /* a store's word address, byte mask and data */
#define R3K_COSIM_REPORTS_LOAD 0x10u      /* a load's address */
#define R3K_COSIM_REPORTS_EXCEPTION 0x20u /* an exception taken instead of retiring */
#define R3K_COSIM_REPORTS_ALL 0x3Fu

/* Step results; negative values are errors. */
#define R3K_COSIM_IN_STEP 0        /* the record agrees; go on */
#define R3K_COSIM_MISMATCH 1       /* the record differs: r3k_cosim_report() says how and where */
#define R3K_COSIM_END_LOOP 2       /* it agreed, and the run is over in the end loop: r3k_cosim_verdict() */
#define R3K_COSIM_EXCEPTION_LOOP 3 /* it agreed, and the run is over in the exception loop */
#define R3K_COSIM_LIMIT 4          /* it agreed, and the reference reached its instruction limit */

#define R3K_COSIM_OK 0
#define R3K_COSIM_ERROR_ARGUMENT (-1) /* a null pointer or a bad option */
#define R3K_COSIM_ERROR_IMAGE (-2)    /* the image cannot be read or run */
#define R3K_COSIM_ERROR_STOPPED (-3)  /* a record after a mismatch or after the run was over */
#define R3K_COSIM_ERROR_INTERNAL (-4) /* out of memory or a bug: the message says */

typedef struct r3k_cosim r3k_cosim;

typedef struct r3k_cosim_options {
  uint32_t quick_run_flag;   /* what a read of QUICK_RUN_FLAG returns (run --flag); default 1 */
  uint64_t max_instructions; /* the reference's instruction limit (run --limit) */
  uint32_t seed;             /* the seed the image was built with, to name cases; default 0x52334B31 */
  uint32_t reports;          /* R3K_COSIM_REPORTS_*; default all */
  uint32_t writes_only;      /* nonzero: the core reports only instructions that write something it reports */
} r3k_cosim_options;

/* One retired instruction, or one exception taken instead. A part the core
 * does not report (options.reports) is ignored. */
typedef struct r3k_cosim_record {
  uint32_t pc;
  uint32_t word;
  uint32_t rd;       /* the register written, 0 for none ($zero is no write) */
  uint32_t rd_value;
  uint32_t hi_written, lo_written; /* nonzero when HI, LO were written */
  uint32_t hi, lo;
  uint32_t store_mask; /* byte lanes written, bit n = byte n of the word; 0: no store */
  uint32_t store_addr; /* the address of the word written (the low two bits are ignored) */
  uint32_t store_data; /* the word on the data lanes (byte n in bits 8n+7..8n) */
  uint32_t load_valid;
  uint32_t load_addr;  /* the address the load computed */
  uint32_t exception;  /* nonzero: pc's instruction took an exception instead of retiring */
  uint32_t cause;      /* the Cause register's exception code: 0 Int, 4 AdEL, 5 AdES, 6 IBE, 7 DBE, 8 Sys, 9 Bp, 10 RI, 11 CpU, 12 Ov */
  uint32_t bad_addr;   /* AdEL, AdES, DBE of a load or store: the data address */
} r3k_cosim_record;

R3K_COSIM_API void r3k_cosim_default_options(r3k_cosim_options* options);

/* Reads the ELF image and starts the reference from reset. On failure
 * *checker is null and r3k_cosim_last_error() says why. */
R3K_COSIM_API int r3k_cosim_open(const char* image_path, const r3k_cosim_options* options, r3k_cosim** checker);

/* Compares one record with the reference's next instruction. */
R3K_COSIM_API int r3k_cosim_step(r3k_cosim* checker, const r3k_cosim_record* record);

/* The mismatch: the core's record, the one expected, what differs, the
 * routine, case, values and code of the place, and the last records in step.
 * "" before a mismatch. Valid until the checker is closed. */
R3K_COSIM_API const char* r3k_cosim_report(const r3k_cosim* checker);

/* The verdict line `r3kcheck run` prints ("PASS: ...", "FAIL: ...",
 * "NO VERDICT: ..."), once the run is over; "" before. */
R3K_COSIM_API const char* r3k_cosim_verdict(const r3k_cosim* checker);

/* Records stepped so far, the one that mismatched included. */
R3K_COSIM_API uint64_t r3k_cosim_steps(const r3k_cosim* checker);

/* The message of the checker's last error ("" if none). */
R3K_COSIM_API const char* r3k_cosim_error(const r3k_cosim* checker);
/* The message of this thread's last failed call (open's included). */
R3K_COSIM_API const char* r3k_cosim_last_error(void);

R3K_COSIM_API void r3k_cosim_close(r3k_cosim* checker);

/* The same for callers that pass plain scalars (SystemVerilog's DPI-C): a
 * null handle on failure, the step's record as arguments. */
R3K_COSIM_API void* r3k_cosim_dpi_open(const char* image_path, unsigned int quick_run_flag,
                                       unsigned long long max_instructions, unsigned int seed, unsigned int reports,
                                       unsigned int writes_only);
R3K_COSIM_API int r3k_cosim_dpi_step(void* checker, unsigned int pc, unsigned int word, unsigned int rd,
                                     unsigned int rd_value, unsigned int hi_written, unsigned int lo_written,
                                     unsigned int hi, unsigned int lo, unsigned int store_mask,
                                     unsigned int store_addr, unsigned int store_data, unsigned int load_valid,
                                     unsigned int load_addr, unsigned int exception, unsigned int cause,
                                     unsigned int bad_addr);
R3K_COSIM_API const char* r3k_cosim_dpi_report(void* checker);
R3K_COSIM_API const char* r3k_cosim_dpi_verdict(void* checker);
R3K_COSIM_API void r3k_cosim_dpi_close(void* checker);

#ifdef __cplusplus
}
#endif

#endif
