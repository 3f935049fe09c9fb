/* Build-time switches of the configuration library. The host build has none. */
