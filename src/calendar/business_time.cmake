# calendar document, embedded calendar and business-time sources
