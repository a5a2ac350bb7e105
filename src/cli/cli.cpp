// placeholder until the command line lands
