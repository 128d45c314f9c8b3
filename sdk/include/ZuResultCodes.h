#ifndef ZU_RESULT_CODES_H
#define ZU_RESULT_CODES_H

/// @file
/// Result codes carried by ZuResult. They are plain integers, not an
/// enumeration, so that a code read from a device or a log compares as-is.

#define ZU_OK 0                            ///< The operation succeeded.
#define ZU_NOT_INITIALIZED 0x0605          ///< The object was not initialised.
#define ZU_NOT_FOUND 25                    ///< The item looked for does not exist.
#define ZU_CANNOT_OPEN_FILE 6              ///< A file could not be opened.
#define ZU_NO_MORE_ITEM 21                 ///< An iteration reached its end.
#define ZU_NOT_CONNECTED 23                ///< The device is not connected.
#define ZU_STATE_ERROR 28                  ///< The object is in the wrong state for the operation.
#define ZU_THREAD_ERROR 29                 ///< A thread could not be started or stopped.
#define ZU_INVALID_DATA_FORMAT 0x0501      ///< Data is not in the expected format.
#define ZU_ABORTED 1                       ///< The operation was aborted.
#define ZU_NOT_ENOUGH_MEMORY 24            ///< Memory could not be allocated.
#define ZU_GENERIC_ERROR 0x4000            ///< An error with no more specific code.
#define ZU_INVALID_PARAMETER 0x4001        ///< An argument is not valid.
#define ZU_CANCEL 0x4002                   ///< The operation was cancelled.
#define ZU_PENDING 0xFFFF                  ///< The operation goes on in the background.
#define ZU_TIMEOUT 30                      ///< The operation timed out.
#define ZU_GENICAM_XML_ERROR 0x0904        ///< A GenICam description could not be loaded.
#define ZU_CANT_READ_MANIFEST 0x0905       ///< A device's file manifest could not be read.
#define ZU_NOT_IMPLEMENTED 0x0604          ///< The operation is not implemented.
#define ZU_NOT_SUPPORTED 26                ///< The operation is not supported.
#define ZU_FILE_ERROR 16                   ///< A file operation failed.
#define ZU_ERR_OVERFLOW 27                 ///< A value or a buffer overflowed.
#define ZU_IMAGE_ERROR 37                  ///< An image is not valid.
#define ZU_MISSING_PACKETS 39              ///< Packets of a block were lost.
#define ZU_BUFFER_TOO_SMALL 4              ///< A buffer is too small for its data.
#define ZU_TOO_MANY_RESENDS 0x0B00         ///< Too many packets were resent.
#define ZU_RESENDS_FAILURE 0x0B01          ///< Packet resends failed.
#define ZU_TOO_MANY_CONSECUTIVE_RESENDS 0x0B03 ///< Too many consecutive packets were resent.
#define ZU_AUTO_ABORTED 0x0B02             ///< The SDK aborted the operation by itself.
#define ZU_BAD_VERSION 0x0201              ///< A version does not match.
#define ZU_NO_MORE_ENTRY 0x0603            ///< A table has no free entry left.
#define ZU_NO_AVAILABLE_DATA 20            ///< No data is available.
#define ZU_NETWORK_ERROR 19                ///< A network operation failed.
#define ZU_NETWORK_CONFIG_ERROR 0x0600     ///< The network is configured wrongly.
#define ZU_RESYNC 40                       ///< The stream resynchronised.
#define ZU_BUSY 0x0202                     ///< The device or object is busy.
#define ZU_CORRUPTED_DATA 0x0303           ///< Data is corrupted.

#endif
