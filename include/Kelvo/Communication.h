/*
 * Kelvo.Communication: the interface for host programs.
 *
 * A host loads Kelvo.Communication.so (Kelvo.Communication.dll on Windows)
 * and calls plain C functions. Two ways in:
 *
 *   1. The seven exported operations (TokenExchangeOperation ...
 *      QueryTaxpayerOperation). Each call constructs a fresh API 3.0
 *      communicator, which reads Kelvo.Communication.dll.config from the
 *      host's current working directory, runs one operation and drops the
 *      communicator again.
 *
 *   2. The object interface, which stands in for the component-object
 *      exposure of the communicator classes: a host creates a communicator
 *      handle (the configuration is read once, at creation), runs any number
 *      of operations on it, from any number of threads, and destroys it.
 *      Functions are named <Class>_<Operation>: KelvoV3Communicator_* for the
 *      API 3.0 communicator; the API 2.0 and legacy communicators follow as
 *      KelvoV2Communicator_* and KelvoLegacyCommunicator_*.
 *
 * Rules that hold for every function declared here:
 *
 *   - Strings are zero-terminated UTF-8. A null pointer is a missing value,
 *     which is never the same as an empty string (a null softwareId takes the
 *     configured identifier, an empty one sends an empty identifier).
 *     The library copies every argument on entry and never keeps, changes or
 *     frees the host's buffers.
 *   - An argument that is not valid UTF-8 is refused: the call returns null
 *     and writes an operation-failure entry naming the argument to the log.
 *     The library does not replace bad bytes, because a silently altered
 *     password, key or document would be signed and sent as if it were the
 *     host's own.
 *   - A string array is a null-terminated array of string pointers; a null
 *     array pointer is a missing list. In the submission functions the
 *     documents list (unsecuredxmls) decides the number of items; operations
 *     is read only up to that number and never past its terminator, so an
 *     operations list shorter than the documents list reaches the operation
 *     as the shorter list and fails it.
 *   - Booleans are int32_t: 0 is false, any other value is true.
 *   - Every function that returns char* returns a newly allocated string that
 *     the caller owns and must release with ReleaseResultString, or null when
 *     there is no result. A null result means the operation failed; the
 *     reason is in the log file named by loggerPath (when the configuration
 *     could be read that far) and, for the calling thread, in
 *     KelvoLastErrorText.
 *   - No error, exception or signal caused by bad input escapes into the
 *     host: every failure ends as a null result.
 *
 * Secrets: the password, signing key, exchange key and the decrypted exchange
 * token never appear in the log or the trace files; "********" stands in
 * their place.
 */
#ifndef KELVO_COMMUNICATION_H
#define KELVO_COMMUNICATION_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(KELVO_BUILDING_LIBRARY)
#    define KELVO_EXPORT __declspec(dllexport)
#  else
#    define KELVO_EXPORT __declspec(dllimport)
#  endif
#  define KELVO_CALL __stdcall
#else
#  define KELVO_EXPORT __attribute__((visibility("default")))
#  define KELVO_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Result strings ------------------------------------------------------ */

/* Releases a string returned by any function of this library. Null is
 * accepted and ignored. Never pass a string of any other origin. */
KELVO_EXPORT void KELVO_CALL ReleaseResultString(char* result);

/* The message of the last failure that ended a call of this library on the
 * calling thread with a null result (configuration missing, bad operation
 * text, unwritable trace file, ...), or null when the last call on this
 * thread succeeded. The caller owns the copy (ReleaseResultString). */
KELVO_EXPORT char* KELVO_CALL KelvoLastErrorText(void);

/* ---- The seven exported operations (API 3.0) ----------------------------- */

/* Token exchange. Returns the service's answer as XML; a successful answer
 * carries the decrypted token in decodedExchangeToken, ready to be passed on
 * as exchangeToken.
 *
 * Trace files: before the operation, /tmp/out.log is replaced by the seven
 * arguments, one per line (CR LF, UTF-8), password, xmlSignkey and
 * exchangeKey shown as "********" (empty when missing or empty); after the
 * operation, /tmp/outb.log is replaced by the line "vege". Both files are
 * created with mode 0600 and never written through a symbolic link or into a
 * file of another user: such a file fails the call (null result). When
 * another token exchange is writing a trace file at that moment, the call
 * waits a short, bounded time and then goes on without writing it. */
KELVO_EXPORT char* KELVO_CALL TokenExchangeOperation(const char* requestId, const char* login,
                                                     const char* password, const char* taxNumber,
                                                     const char* xmlSignkey,
                                                     const char* exchangeKey,
                                                     const char* softwareId);

/* Invoice submission. operations: operation texts ("CREATE", "MODIFY",
 * "STORNO"), one per document, by position; unsecuredxmls: the invoice
 * documents as XML text. Both null-terminated (see the rules above). */
KELVO_EXPORT char* KELVO_CALL ManageInvoiceOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* const* operations, const char* const* unsecuredxmls, const char* softwareId);

/* Invoice submission of one document: behaves exactly like
 * ManageInvoiceOperation with two one-element lists. A null operations or
 * unsecuredxmls becomes a list holding one missing element, which fails the
 * operation. */
KELVO_EXPORT char* KELVO_CALL ManageInvoiceOperationSingle(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* operations, const char* unsecuredxmls, const char* softwareId);

/* Transaction status query. returnOriginalRequest: non-zero asks the service
 * to include the submitted data in its answer. */
KELVO_EXPORT char* KELVO_CALL QueryInvoiceStatusOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* transactionId,
    int32_t returnOriginalRequest, const char* softwareId);

/* Technical annulment; operations hold "ANNUL" per document. Lists as for
 * ManageInvoiceOperation. */
KELVO_EXPORT char* KELVO_CALL ManageAnnulmentOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* const* operations, const char* const* unsecuredxmls, const char* softwareId);

/* Technical annulment of one document, as ManageInvoiceOperationSingle. */
KELVO_EXPORT char* KELVO_CALL ManageAnnulmentOperationSingle(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* exchangeToken,
    const char* operations, const char* unsecuredxmls, const char* softwareId);

/* Taxpayer query: taxNumber identifies the querying taxpayer,
 * queriedTaxNumber the taxpayer asked about. exchangeKey and transactionId
 * are accepted and not used. */
KELVO_EXPORT char* KELVO_CALL QueryTaxpayerOperation(
    const char* requestId, const char* login, const char* password, const char* taxNumber,
    const char* xmlSignkey, const char* exchangeKey, const char* transactionId,
    const char* softwareId, const char* queriedTaxNumber);

/* ---- Object interface: the API 3.0 communicator -------------------------- */

/* An API 3.0 communicator. Opaque; a handle is valid from its creation until
 * it is destroyed. A handle that was never created or is already destroyed is
 * recognised and refused (null result), never dereferenced. */
typedef struct KelvoV3Communicator KelvoV3Communicator;

/* Creates a communicator: reads Kelvo.Communication.dll.config from the
 * current working directory. Returns null when the configuration is missing
 * or malformed; then, if errorText is not null, *errorText receives the
 * reason (release it with ReleaseResultString), else it receives null.
 * Nothing is logged: the log path itself may be what is missing. */
KELVO_EXPORT KelvoV3Communicator* KELVO_CALL KelvoV3Communicator_Create(char** errorText);

/* Destroys a communicator. Null is accepted and ignored. Calls running on the
 * handle in other threads finish first; later calls on it return null. */
KELVO_EXPORT void KELVO_CALL KelvoV3Communicator_Destroy(KelvoV3Communicator* communicator);

/* The operations, with the arguments and results of the exported functions of
 * the same names. TokenExchangeOperation here writes no trace files. */
KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_TokenExchangeOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* softwareId);

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_ManageInvoiceOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* exchangeToken, const char* const* operations, const char* const* unsecuredxmls,
    const char* softwareId);

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_QueryInvoiceStatusOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* transactionId, int32_t returnOriginalRequest, const char* softwareId);

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_ManageAnnulmentOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* exchangeToken, const char* const* operations, const char* const* unsecuredxmls,
    const char* softwareId);

KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_QueryTaxpayerOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* exchangeKey,
    const char* transactionId, const char* softwareId, const char* queriedTaxNumber);

/* Invoice data query: one invoice by number and direction ("INBOUND" or
 * "OUTBOUND"); supplierTaxNumber is used for INBOUND only; batchIndex -1 for
 * none. */
KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_QueryInvoiceDataOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* softwareId,
    const char* invoiceNumber, const char* invoiceDirection, const char* supplierTaxNumber,
    int32_t batchIndex);

/* Invoice digest query: one page of digests. invoiceParams is the XML text of
 * an InvoiceQueryParamsType element (for instance
 * <invoiceQueryParams xmlns="http://schemas.nav.gov.hu/OSA/3.0/api">
 *   <mandatoryQueryParams><invoiceIssueDate><dateFrom>2021-01-01</dateFrom>
 *   <dateTo>2021-01-31</dateTo></invoiceIssueDate></mandatoryQueryParams>
 * </invoiceQueryParams>), or null for a request without query parameters.
 * Text that cannot be read as such an element fails the call (null). */
KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_QueryInvoiceDigestOperation(
    KelvoV3Communicator* communicator, const char* requestId, const char* login,
    const char* password, const char* taxNumber, const char* xmlSignkey, const char* softwareId,
    const char* invoiceDirection, int32_t page, const char* invoiceParams);

/* Appends one entry (lines and a line end) to the file path, creating it when
 * missing, and echoes it to standard output when showInConsole is non-zero.
 * Returns 1 when the entry was written, 0 when it was not. */
KELVO_EXPORT int32_t KELVO_CALL KelvoV3Communicator_Logger(KelvoV3Communicator* communicator,
                                                           const char* lines, const char* path,
                                                           int32_t showInConsole);

/* The hex digest text (128 upper-case hex characters) of the SHA-512 or
 * SHA3-512 digest of the UTF-8 bytes of s; a null s digests like "". */
KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_GenerateSHA512Hash(
    KelvoV3Communicator* communicator, const char* s);
KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_GenerateSHA3_512Hash(
    KelvoV3Communicator* communicator, const char* s);

/* The request signature of requestId, timestamp and xmlSignkey. timestamp is a
 * date-time text in the message forms: "2020-07-01T10:20:30.999Z" (UTC),
 * "2020-07-01T12:20:30+02:00" (local time of the host) or
 * "2020-07-01T10:20:30" (unspecified, taken as local time). The signature
 * base is written to the log and the console. */
KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_GenerateRequestSignature(
    KelvoV3Communicator* communicator, const char* requestId, const char* timestamp,
    const char* xmlSignkey);

/* The same with item texts (the operation hashes of a submission) appended to
 * the signature base; invoiceElements is a null-terminated array, a null
 * array is a missing list and fails the call. */
KELVO_EXPORT char* KELVO_CALL KelvoV3Communicator_GenerateRequestSignatureWithItems(
    KelvoV3Communicator* communicator, const char* requestId, const char* timestamp,
    const char* xmlSignkey, const char* const* invoiceElements);

#ifdef __cplusplus
}
#endif

#endif /* KELVO_COMMUNICATION_H */
