int qobCoreAnchor = 0;
